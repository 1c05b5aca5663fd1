// The dispatcher's share of the line settings: the device settings block, the drain before a
// change of the line, flow control and the modem lines. Window thread, under the general lock.

#include "serial/dispatcher.h"

#include "serial/errors.h"

#include <chrono>
#include <thread>

namespace serial {

int TBaseDispatcher::ApplySettings() {
    if (FSettings.DtrControl != lcHandshake)
        FSettings.DtrControl = FDTR ? lcEnable : lcDisable;
    if (FSettings.RtsControl != lcHandshake)
        FSettings.RtsControl = FRTS ? lcEnable : lcDisable;
    const int Result = FDevice->SetSettings(FSettings);
    if (Result < 0)
        return Result;
    FLastBaud = FSettings.BaudRate;
    if (FSettings.DtrControl != lcHandshake)
        FDevice->SetDTR(FDTR);
    if (FSettings.RtsControl != lcHandshake)
        FDevice->SetRTS(FRTS);
    return 0;
}

int TBaseDispatcher::SetLine(int32_t Baud, uint8_t Parity, uint16_t DataBits, uint16_t StopBits) {
    TDeviceSettings Wanted;
    int32_t OldBaud;
    {
        std::lock_guard Lock(FGeneral);
        const int Result = FDevice->GetSettings(FSettings);
        if (Result < 0)
            return Result;
        FSettings.Binary = true;
        FSettings.ParityCheck = false;
        FSettings.DsrSensitivity = false;
        FSettings.TxContinueOnXoff = true;
        FSettings.NullStrip = false;
        Wanted = FSettings;
        if (StopBits < 1)
            StopBits = 1;
        else if (StopBits > 3)
            StopBits = 2;
        if (DataBits == 5)
            Wanted.StopBits = sbOneAndHalf;
        else if (StopBits == 1)
            Wanted.StopBits = sbOne;
        else if (StopBits == 2)
            Wanted.StopBits = sbTwo;
        if (Baud != 0)
            Wanted.BaudRate = Baud;
        Wanted.Parity = Parity;
        Wanted.ByteSize = static_cast<uint8_t>(DataBits);
        if (Wanted.BaudRate == FSettings.BaudRate && Wanted.Parity == FSettings.Parity &&
            Wanted.ByteSize == FSettings.ByteSize && Wanted.StopBits == FSettings.StopBits)
            return 0;
        OldBaud = FLastBaud;
    }
    // Bytes still queued go out at the old settings first, then the line gets time to settle. The
    // driver's transmit queue counts too: a UART's holds about 4 KB, far more than the settling
    // time covers, and those bytes would leave at the new rate.
    for (int Poll = 0; Poll < 5000 && OutputPending() > 0; ++Poll)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (OldBaud > 0) {
        const uint64_t BitTime = 10000000u / static_cast<uint32_t>(OldBaud);
        const uint64_t Bits =
            DataBits + 2u + (Parity != 0 ? 1u : 0u) + (Wanted.StopBits != sbOne ? 1u : 0u);
        uint64_t Total = BitTime * Bits * 18;
        if (Total < 10000)
            Total *= 2;
        std::this_thread::sleep_for(std::chrono::milliseconds((Total + 9999) / 10000));
    }
    std::lock_guard Lock(FGeneral);
    FSettings.BaudRate = Wanted.BaudRate;
    FSettings.Parity = Wanted.Parity;
    FSettings.ByteSize = Wanted.ByteSize;
    FSettings.StopBits = Wanted.StopBits;
    return ApplySettings();
}

int TBaseDispatcher::SetHWFlowOptions(uint16_t BufferFull, uint16_t BufferResume, uint8_t Options) {
    std::lock_guard Lock(FGeneral);
    if (BufferFull < BufferResume || BufferFull > FInSize)
        return ecBadArgument;
    FSettings.OutxCtsFlow = (Options & hfRequireCTS) != 0;
    FSettings.OutxDsrFlow = (Options & hfRequireDSR) != 0;
    FSettings.DtrControl = (Options & hfUseDTR) ? lcHandshake : FDTR ? lcEnable : lcDisable;
    FSettings.RtsControl = (Options & hfUseRTS) ? lcHandshake : FRTS ? lcEnable : lcDisable;
    FSettings.XoffLim = static_cast<uint16_t>(FInSize - BufferFull);
    FSettings.XonLim = BufferResume;
    return ApplySettings();
}

int TBaseDispatcher::SetSWFlowOptions(uint16_t BufferFull, uint16_t BufferResume,
                                      uint8_t Directions) {
    std::lock_guard Lock(FGeneral);
    if (BufferFull < BufferResume || BufferFull > FInSize)
        return ecBadArgument;
    if (Directions & sfReceive) {
        FSettings.InX = true;
        FSettings.XoffLim = static_cast<uint16_t>(FInSize - BufferFull);
        FSettings.XonLim = BufferResume;
    }
    if (Directions & sfTransmit)
        FSettings.OutX = true;
    if (Directions != 0) {
        FSettings.XonChar = 17;
        FSettings.XoffChar = 19;
    } else {
        FSettings.InX = FSettings.OutX = false;
    }
    return ApplySettings();
}

int TBaseDispatcher::SetFlowChars(uint8_t XOn, uint8_t XOff) {
    std::lock_guard Lock(FGeneral);
    FSettings.XonChar = XOn;
    FSettings.XoffChar = XOff;
    return ApplySettings();
}

int TBaseDispatcher::SetDTR(bool Raised) {
    std::lock_guard Lock(FGeneral);
    FDTR = Raised;
    return FDevice->SetDTR(Raised);
}

int TBaseDispatcher::SetRTS(bool Raised) {
    std::lock_guard Lock(FGeneral);
    FRTS = Raised;
    return FDevice->SetRTS(Raised);
}

int TBaseDispatcher::SetQueueSizes(uint16_t InSize, uint16_t OutSize) {
    std::lock_guard Lock(FGeneral);
    return FDevice->SetQueueSizes(InSize, OutSize);
}

} // namespace serial
