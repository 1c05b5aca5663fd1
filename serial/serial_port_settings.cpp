// TSerialPort's property setters: stored while closed, applied to the dispatcher while open.

#include "serial/serial_port.h"

namespace serial {

void TSerialPort::SetDeviceLayer(TDeviceLayer Value) {
    if (FState == psClosed && Value == dlWin32)
        FDeviceLayer = Value;
}

void TSerialPort::SetComNumber(uint16_t Value) {
    if (Value == FComNumber)
        return;
    if (!IsOpenState()) {
        FComNumber = Value;
        return;
    }
    // The triggers go with the close and come back with the open.
    DoClose();
    FComNumber = Value;
    SetOpen(true);
}

void TSerialPort::SetBaud(int32_t Value) {
    if (Value == FBaud)
        return;
    FBaud = Value;
    if (IsOpenState())
        Check(FDispatcher->SetLine(FBaud, static_cast<uint8_t>(FParity), FDataBits, FStopBits));
}

void TSerialPort::SetParity(TParity Value) {
    if (Value == FParity)
        return;
    FParity = Value;
    if (IsOpenState())
        Check(FDispatcher->SetLine(FBaud, static_cast<uint8_t>(FParity), FDataBits, FStopBits));
}

void TSerialPort::SetDataBits(uint16_t Value) {
    if (Value == FDataBits)
        return;
    FDataBits = Value;
    if (IsOpenState())
        Check(FDispatcher->SetLine(FBaud, static_cast<uint8_t>(FParity), FDataBits, FStopBits));
}

void TSerialPort::SetStopBits(uint16_t Value) {
    if (Value == FStopBits)
        return;
    FStopBits = Value;
    if (IsOpenState())
        Check(FDispatcher->SetLine(FBaud, static_cast<uint8_t>(FParity), FDataBits, FStopBits));
}

void TSerialPort::SetInSize(uint16_t Value) {
    if (Value == FInSize)
        return;
    FInSize = Value;
    if (IsOpenState())
        Check(FDispatcher->SetQueueSizes(FInSize, FOutSize));
}

void TSerialPort::SetOutSize(uint16_t Value) {
    if (Value == FOutSize)
        return;
    FOutSize = Value;
    if (IsOpenState())
        Check(FDispatcher->SetQueueSizes(FInSize, FOutSize));
}

namespace {

// Flow-control marks left at 0, or out of range, follow from the receive queue size.
void DeriveMarks(uint16_t InSize, unsigned FullPercent, unsigned ResumePercent, uint16_t& Full,
                 uint16_t& Resume) {
    if (Full == 0 || Full > InSize)
        Full = static_cast<uint16_t>(uint32_t(InSize) * FullPercent / 100);
    if (Resume == 0 || Resume > Full)
        Resume = static_cast<uint16_t>(uint32_t(InSize) * ResumePercent / 100);
}

} // namespace

void TSerialPort::SetHWFlowOptions(THWFlowOptionSet Value) {
    if (Value == FHWFlowOptions && !FForce)
        return;
    if (!Value.Empty())
        DeriveMarks(FInSize, 90, 10, FBufferFull, FBufferResume);
    if (IsOpenState())
        Check(FDispatcher->SetHWFlowOptions(FBufferFull, FBufferResume, Value.Bits()));
    FHWFlowOptions = Value;
}

void TSerialPort::SetSWFlowOptions(TSWFlowOptions Value) {
    if (Value == FSWFlowOptions && !FForce)
        return;
    if (Value != swfNone)
        DeriveMarks(FInSize, 75, 25, FBufferFull, FBufferResume);
    if (IsOpenState()) {
        static constexpr uint8_t Directions[] = {0, sfReceive, sfTransmit, sfReceive | sfTransmit};
        Check(FDispatcher->SetSWFlowOptions(FBufferFull, FBufferResume, Directions[Value]));
    }
    FSWFlowOptions = Value;
}

void TSerialPort::SetXOnChar(uint8_t Value) {
    if (Value == FXOnChar && !FForce)
        return;
    FXOnChar = Value;
    if (IsOpenState())
        Check(FDispatcher->SetFlowChars(FXOnChar, FXOffChar));
}

void TSerialPort::SetXOffChar(uint8_t Value) {
    if (Value == FXOffChar && !FForce)
        return;
    FXOffChar = Value;
    if (IsOpenState())
        Check(FDispatcher->SetFlowChars(FXOnChar, FXOffChar));
}

void TSerialPort::SetDTR(bool Value) {
    if (Value == FDTR && !FForce)
        return;
    if (IsOpenState()) {
        if (FHWFlowOptions.Contains(hwfUseDTR))
            return; // the device drives DTR
        Check(FDispatcher->SetDTR(Value));
    }
    FDTR = Value;
}

void TSerialPort::SetRTS(bool Value) {
    if (Value == FRTS && !FForce)
        return;
    if (IsOpenState()) {
        if (FHWFlowOptions.Contains(hwfUseRTS))
            return;
        Check(FDispatcher->SetRTS(Value));
    }
    FRTS = Value;
}

} // namespace serial
