#pragma once
// What the dispatcher needs of a serial device. One implementation per platform is chosen by the
// build (posix_device.cpp); TMemoryDevice stands in for a line in tests.
//
// Threads: Open, Close and the purges are called by the window thread, settings and the lines
// (SetDTR, SetRTS, SetQueueSizes) by it under the dispatcher's general lock; OutQueue by it at any
// time. Read only by the dispatch thread. InQueue, ReadErrors and ModemStatus by the dispatch
// thread as it reads and passes, and by the window thread at any time too: InQueue to count what
// waits, ReadErrors whenever output is queued or counted, ModemStatus at open. Write and
// WaitWritable by the transmit thread; WaitEvent by the receive-event thread. SetEventMask(0) may
// come from any thread and ends a pending WaitEvent. None of these calls holds a dispatcher lock
// other than where said; an implementation must allow them to run at once.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace serial {

// Device events (the bits the receive-event thread selects and WaitEvent reports).
inline constexpr uint32_t evRxChar = 0x0001;
inline constexpr uint32_t evCTS = 0x0008;
inline constexpr uint32_t evDSR = 0x0010;
inline constexpr uint32_t evRLSD = 0x0020;
inline constexpr uint32_t evBreak = 0x0040;
inline constexpr uint32_t evErr = 0x0080;
inline constexpr uint32_t evRing = 0x0100;
inline constexpr uint32_t evRingTe = 0x2000;
inline constexpr uint32_t evAll = 0x01F9;

// Line-error bits, as the device reports them and the dispatcher accumulates them.
inline constexpr uint16_t leOverflow = 0x01; // receive queue overflow
inline constexpr uint16_t leOverrun = 0x02;
inline constexpr uint16_t leParity = 0x04;
inline constexpr uint16_t leFraming = 0x08;
inline constexpr uint16_t leBreak = 0x10;
inline constexpr uint16_t leAll = 0x1F;

// Modem status: the line states in bits 4-7, their changes since the last look in bits 0-3.
inline constexpr uint8_t msCTS = 0x10;
inline constexpr uint8_t msDSR = 0x20;
inline constexpr uint8_t msRing = 0x40;
inline constexpr uint8_t msDCD = 0x80;

enum TLineControl : uint8_t { lcDisable, lcEnable, lcHandshake };
enum TStopBitsCode : uint8_t { sbOne, sbOneAndHalf, sbTwo };

// The device settings block: read, changed and written back as a whole.
struct TDeviceSettings {
    int32_t BaudRate = 0;
    uint8_t ByteSize = 8;
    uint8_t Parity = 0; // 0 none, 1 odd, 2 even, 3 mark, 4 space
    TStopBitsCode StopBits = sbOne;
    bool Binary = true;
    bool ParityCheck = false;
    bool DsrSensitivity = false;
    bool TxContinueOnXoff = true;
    bool NullStrip = false;
    bool OutxCtsFlow = false;
    bool OutxDsrFlow = false;
    TLineControl DtrControl = lcEnable;
    TLineControl RtsControl = lcEnable;
    bool OutX = false; // XON/XOFF on transmit
    bool InX = false;  // XON/XOFF on receive
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t XonChar = 17;
    uint8_t XoffChar = 19;
};

// A failure as the device layer saw it: the code its call returned (errors.h), the system's error
// number behind it (0 when there is none), and the text to show for it.
struct TDeviceError {
    int Code = 0;
    int SystemError = 0;
    std::string Text;
};

// The device layer's one mapping of a system error number to a code and its text. Path: the device
// the failing call was about; a refused access names it and says how to get access. IoCode: what
// an input/output failure is, ecDeviceReadError or ecDeviceWriteError.
TDeviceError DeviceError(int SystemError, const std::string& Path, int IoCode);

class TComDevice {
public:
    virtual ~TComDevice() = default;

    // 0, or a negative code: ecBadId no such device, ecAlreadyOpen held by another program,
    // ecAccessDenied the user may not use it, or another code of DeviceError.
    virtual int Open(const std::string& Path) = 0;
    virtual void Close() = 0;

    virtual int GetSettings(TDeviceSettings& Settings) = 0;
    virtual int SetSettings(const TDeviceSettings& Settings) = 0;
    virtual int SetQueueSizes(uint32_t InSize, uint32_t OutSize) = 0;
    virtual int SetDTR(bool Raised) = 0;
    virtual int SetRTS(bool Raised) = 0;
    virtual int PurgeInput() = 0;
    virtual int PurgeOutput() = 0;

    // Bytes waiting in the device's receive queue.
    virtual int InQueue() = 0;
    // Bytes written to the device and not yet sent on the line.
    virtual int OutQueue() = 0;
    // Takes what has arrived, at most Size bytes, without waiting: the count, or a negative code.
    virtual int Read(uint8_t* Buffer, std::size_t Size) = 0;
    // Writes what the device accepts now, without waiting: the count (0 when full) or a negative
    // code.
    virtual int Write(const uint8_t* Buffer, std::size_t Size) = 0;
    // Waits up to TimeoutMs until Write can take bytes again, or a wait is cancelled.
    virtual void WaitWritable(int TimeoutMs) = 0;

    // Error bits (le*) that appeared since the last call; the device forgets them.
    virtual uint16_t ReadErrors() = 0;
    // Current modem line states (ms* bits 4-7).
    virtual uint8_t ModemStatus() = 0;

    // Selects the events WaitEvent reports; 0 selects none and ends a pending wait.
    virtual int SetEventMask(uint32_t Mask) = 0;
    // Blocks until one of the selected events happens and stores it in Events: 0. A cancelled
    // wait returns 0 with Events 0. A device that has gone (its other side hung up) returns a
    // negative code; the caller stops waiting on it.
    virtual int WaitEvent(uint32_t& Events) = 0;

    // Any thread: the failure behind the last negative code a call returned.
    virtual TDeviceError LastError() const = 0;
};

// The device for a local port of this platform.
std::shared_ptr<TComDevice> CreateLocalDevice();

// What the local device's Open(Path) would give, found without setting the device up: code 0, or
// the failure with its text. The device is opened and its lock taken for a moment only; its
// exclusive mode and line settings stay as they were, whoever holds it.
TDeviceError ProbeLocalDevice(const std::string& Path);

} // namespace serial
