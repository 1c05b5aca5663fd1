#pragma once
// A serial line in memory, for tests: what a pseudo-terminal cannot do (line errors, breaks,
// modem lines, a transmitter that stalls, a transmit queue that holds bytes as a UART's does, a
// device that vanishes, a device call that throws). The test side (Feed, InjectErrors, ...) may be
// called from any thread while the port runs.

#include "serial/device.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace test_support {

class TMemoryDevice final : public serial::TComDevice {
public:
    // Settings written to the device, with how many bytes it had sent by then.
    struct TSettingsWrite {
        serial::TDeviceSettings Settings;
        std::size_t WrittenBefore;
    };

    // Test side.
    void Feed(const std::vector<uint8_t>& Bytes);
    void InjectErrors(uint16_t Bits); // le* bits; a break alone is reported as a break event
    void SetModemLines(uint8_t Lines);
    void StallWrites(bool Stalled);
    // While held, written bytes wait in the device's transmit queue (up to TransmitQueueSize of
    // them, as in a UART's driver) instead of going on the line; releasing sends them.
    void HoldTransmitQueue(bool Held);
    static constexpr std::size_t TransmitQueueSize = 4096;
    void HangUp();
    // The next call of that kind throws std::runtime_error. Each is made by one worker thread
    // only: WaitEvent by the receive-event thread, Read by the dispatch thread (when bytes wait),
    // Write by the transmit thread.
    enum class TCall { WaitEvent, Read, Write };
    void ThrowFromNext(TCall Call);
    // The next Open fails as Error says.
    void RefuseOpen(serial::TDeviceError Error);
    // What went out on the line.
    std::vector<uint8_t> Written() const;
    std::vector<TSettingsWrite> SettingsWrites() const;
    bool IsOpen() const;

    // TComDevice.
    int Open(const std::string& Path) override;
    void Close() override;
    int GetSettings(serial::TDeviceSettings& Settings) override;
    int SetSettings(const serial::TDeviceSettings& Settings) override;
    int SetQueueSizes(uint32_t InSize, uint32_t OutSize) override;
    int SetDTR(bool Raised) override;
    int SetRTS(bool Raised) override;
    int PurgeInput() override;
    int PurgeOutput() override;
    int InQueue() override;
    int OutQueue() override;
    int Read(uint8_t* Buffer, std::size_t Size) override;
    int Write(const uint8_t* Buffer, std::size_t Size) override;
    void WaitWritable(int TimeoutMs) override;
    uint16_t ReadErrors() override;
    uint8_t ModemStatus() override;
    int SetEventMask(uint32_t Mask) override;
    int WaitEvent(uint32_t& Events) override;
    serial::TDeviceError LastError() const override;

private:
    void ThrowIfArmed(TCall Call, const char* Name); // caller holds FLock
    int Fail(int Code);                              // caller holds FLock

    mutable std::mutex FLock;
    std::condition_variable FChanged;
    bool FOpen = false;
    bool FHungUp = false;
    bool FStalled = false;
    bool FHeld = false;
    std::optional<TCall> FThrowFrom;
    std::optional<serial::TDeviceError> FRefusal;
    serial::TDeviceError FLastError;
    std::deque<uint8_t> FIn;
    std::vector<uint8_t> FQueued; // in the transmit queue
    std::vector<uint8_t> FOut;    // on the line
    std::vector<TSettingsWrite> FSettingsWrites;
    serial::TDeviceSettings FSettings;
    uint16_t FErrors = 0;
    uint32_t FPendingEvents = 0;
    uint32_t FMask = 0;
    uint8_t FLines = 0;
};

} // namespace test_support
