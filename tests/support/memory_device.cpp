#include "support/memory_device.h"

#include "serial/errors.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>

namespace test_support {

void TMemoryDevice::Feed(const std::vector<uint8_t>& Bytes) {
    {
        std::lock_guard Lock(FLock);
        FIn.insert(FIn.end(), Bytes.begin(), Bytes.end());
        FPendingEvents |= serial::evRxChar;
    }
    FChanged.notify_all();
}

void TMemoryDevice::InjectErrors(uint16_t Bits) {
    {
        std::lock_guard Lock(FLock);
        FErrors |= Bits & serial::leAll;
        FPendingEvents |= ((Bits & serial::leBreak) ? serial::evBreak : 0) |
                          ((Bits & ~serial::leBreak) ? serial::evErr : 0);
    }
    FChanged.notify_all();
}

void TMemoryDevice::SetModemLines(uint8_t Lines) {
    {
        std::lock_guard Lock(FLock);
        uint8_t Changed = Lines ^ FLines;
        FLines = Lines;
        FPendingEvents |= ((Changed & serial::msCTS) ? serial::evCTS : 0) |
                          ((Changed & serial::msDSR) ? serial::evDSR : 0) |
                          ((Changed & serial::msDCD) ? serial::evRLSD : 0) |
                          ((Changed & serial::msRing) ? serial::evRing : 0);
    }
    FChanged.notify_all();
}

void TMemoryDevice::StallWrites(bool Stalled) {
    {
        std::lock_guard Lock(FLock);
        FStalled = Stalled;
    }
    FChanged.notify_all();
}

void TMemoryDevice::HoldTransmitQueue(bool Held) {
    {
        std::lock_guard Lock(FLock);
        FHeld = Held;
        if (!Held) {
            FOut.insert(FOut.end(), FQueued.begin(), FQueued.end());
            FQueued.clear();
        }
    }
    FChanged.notify_all();
}

void TMemoryDevice::HangUp() {
    {
        std::lock_guard Lock(FLock);
        FHungUp = true;
    }
    FChanged.notify_all();
}

void TMemoryDevice::ThrowFromNext(TCall Call) {
    {
        std::lock_guard Lock(FLock);
        FThrowFrom = Call;
    }
    FChanged.notify_all();
}

void TMemoryDevice::ThrowIfArmed(TCall Call, const char* Name) {
    if (FThrowFrom != Call)
        return;
    FThrowFrom.reset();
    throw std::runtime_error(std::string("memory device: ") + Name + " failed");
}

void TMemoryDevice::RefuseOpen(serial::TDeviceError Error) {
    std::lock_guard Lock(FLock);
    FRefusal = std::move(Error);
}

int TMemoryDevice::Fail(int Code) {
    FLastError = {Code, 0, serial::ErrorText(static_cast<unsigned>(-Code))};
    return Code;
}

serial::TDeviceError TMemoryDevice::LastError() const {
    std::lock_guard Lock(FLock);
    return FLastError;
}

std::vector<uint8_t> TMemoryDevice::Written() const {
    std::lock_guard Lock(FLock);
    return FOut;
}

std::vector<TMemoryDevice::TSettingsWrite> TMemoryDevice::SettingsWrites() const {
    std::lock_guard Lock(FLock);
    return FSettingsWrites;
}

bool TMemoryDevice::IsOpen() const {
    std::lock_guard Lock(FLock);
    return FOpen;
}

int TMemoryDevice::Open(const std::string&) {
    std::lock_guard Lock(FLock);
    if (FRefusal) {
        FLastError = *std::exchange(FRefusal, std::nullopt);
        return FLastError.Code;
    }
    if (FOpen)
        return Fail(serial::ecAlreadyOpen);
    FOpen = true;
    return 0;
}

void TMemoryDevice::Close() {
    {
        std::lock_guard Lock(FLock);
        FOpen = false;
        FMask = 0;
    }
    FChanged.notify_all();
}

int TMemoryDevice::GetSettings(serial::TDeviceSettings& Settings) {
    std::lock_guard Lock(FLock);
    Settings = FSettings;
    return 0;
}

int TMemoryDevice::SetSettings(const serial::TDeviceSettings& Settings) {
    std::lock_guard Lock(FLock);
    FSettings = Settings;
    FSettingsWrites.push_back({Settings, FOut.size()});
    return 0;
}

int TMemoryDevice::SetQueueSizes(uint32_t, uint32_t) {
    return 0;
}
int TMemoryDevice::SetDTR(bool) {
    return 0;
}
int TMemoryDevice::SetRTS(bool) {
    return 0;
}

int TMemoryDevice::PurgeInput() {
    std::lock_guard Lock(FLock);
    FIn.clear();
    return 0;
}

int TMemoryDevice::PurgeOutput() {
    {
        std::lock_guard Lock(FLock);
        FQueued.clear();
    }
    FChanged.notify_all();
    return 0;
}

int TMemoryDevice::OutQueue() {
    std::lock_guard Lock(FLock);
    return static_cast<int>(FQueued.size());
}

int TMemoryDevice::InQueue() {
    std::lock_guard Lock(FLock);
    return static_cast<int>(FIn.size());
}

int TMemoryDevice::Read(uint8_t* Buffer, std::size_t Size) {
    std::lock_guard Lock(FLock);
    ThrowIfArmed(TCall::Read, "Read");
    if (!FOpen || FHungUp)
        return Fail(serial::ecDeviceReadError);
    std::size_t Count = std::min(Size, FIn.size());
    std::copy_n(FIn.begin(), Count, Buffer);
    FIn.erase(FIn.begin(), FIn.begin() + static_cast<std::ptrdiff_t>(Count));
    return static_cast<int>(Count);
}

int TMemoryDevice::Write(const uint8_t* Buffer, std::size_t Size) {
    std::lock_guard Lock(FLock);
    ThrowIfArmed(TCall::Write, "Write");
    if (!FOpen || FHungUp)
        return Fail(serial::ecDeviceWriteError);
    if (FStalled)
        return 0;
    if (!FHeld) {
        FOut.insert(FOut.end(), Buffer, Buffer + Size);
        return static_cast<int>(Size);
    }
    const std::size_t Count = std::min(Size, TransmitQueueSize - FQueued.size());
    FQueued.insert(FQueued.end(), Buffer, Buffer + Count);
    return static_cast<int>(Count);
}

void TMemoryDevice::WaitWritable(int TimeoutMs) {
    std::unique_lock Lock(FLock);
    FChanged.wait_for(Lock, std::chrono::milliseconds(TimeoutMs), [this] {
        return !FStalled && (!FHeld || FQueued.size() < TransmitQueueSize);
    });
}

uint16_t TMemoryDevice::ReadErrors() {
    std::lock_guard Lock(FLock);
    return std::exchange(FErrors, 0);
}

uint8_t TMemoryDevice::ModemStatus() {
    std::lock_guard Lock(FLock);
    return FLines;
}

int TMemoryDevice::SetEventMask(uint32_t Mask) {
    {
        std::lock_guard Lock(FLock);
        FMask = Mask;
    }
    FChanged.notify_all();
    return 0;
}

int TMemoryDevice::WaitEvent(uint32_t& Events) {
    std::unique_lock Lock(FLock);
    FChanged.wait(Lock, [this] {
        return FMask == 0 || FHungUp || (FPendingEvents & FMask) || FThrowFrom == TCall::WaitEvent;
    });
    ThrowIfArmed(TCall::WaitEvent, "WaitEvent");
    Events = 0;
    if (FMask == 0)
        return 0;
    if (FHungUp)
        return Fail(serial::ecDeviceReadError);
    Events = std::exchange(FPendingEvents, 0) & FMask;
    return 0;
}

} // namespace test_support
