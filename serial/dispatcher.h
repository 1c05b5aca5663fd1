#pragma once
// The dispatcher behind an open port: the dispatch buffer that received bytes wait in, the output
// ring, the status watches, and the delivery of trigger events to the window thread.
//
// Threading contract
// - Window thread: every public member except where noted, and every window procedure that a
//   delivery runs. It may hold the dispatcher-table lock (dispatcher_table.h) while it calls in.
// - Dispatch thread: ReadDevice, the passes and Deliver. It waits up to 3000 ms for each delivery
//   to be handled on the window thread, reading the device on meanwhile (after a data delivery
//   it first sleeps out the AvailPace, holding no lock), and checks no trigger while Busy is
//   set. It sleeps without a time limit while nothing arrives and nothing waits that a
//   delivery would offer: bytes below the avail threshold, or with none set, wait for more.
// - Transmit thread: takes bytes from the output ring.
// - Receive-event thread: waits for device events (local_dispatcher.h).
// Locks, each held briefly, never while waiting for another thread:
// - FGeneral: the settings block, the status watches and handle counter, the avail threshold, the
//   window handlers and the handler flags.
// - FInput: the dispatch buffer (a byte ring, byte_ring.h), the unannounced flag, and the
//   delivery in flight (its ticket and state; the dispatch thread waits on FTicketDone with it).
//   The device is read outside it (only the dispatch thread writes the ring's free part): a
//   batch read while a close flushes the input may land after the flush, and goes with the
//   buffers the close frees.
// - FOutput: the output ring. The transmit thread writes a run of it to the device outside the
//   lock: only that thread drops bytes from it, and PutBlock writes only into its free part.
// Order: dispatcher-table lock, then FGeneral, then FInput, then FOutput. The line-error bits,
// the modem status and the Busy, kill and delete-pending flags are atomics.
//
// A delivery the dispatch thread gave up on (3000 ms without the handler's return):
// - not yet begun on the window thread: a data delivery never reaches a handler, its bytes stay
//   unread and are offered again by the next one with the whole unread count; a status delivery
//   still runs later, since a watch fires once per arming.
// - begun: the handler runs on and takes on from where it was.
// Take rule: a data handler's bytes are counted in FTaken and stay in the ring until its take
// ends, which moves the read position by the count under FInput; only then may the dispatch
// thread write there again. While the handler runs only the window thread touches the take, so
// the handler takes from a run of the ring (FRun) without the lock. The take ends on the
// dispatch thread after a handler returned in time (EndHandling hands it over under FInput),
// and on the window thread after a give-up: when that handler returns, or when a later
// delivery's handler begins inside it. Count and read position therefore always agree.
#include "serial/byte_ring.h"
#include "serial/device.h"
#include "serial/message_loop.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace serial {

// Message codes a delivery carries to the notification window.
inline constexpr uint16_t cwmAvail = 0x7E01;
inline constexpr uint16_t cwmDataMatch = 0x7E02;
inline constexpr uint16_t cwmTimer = 0x7E03;
inline constexpr uint16_t cwmStatus = 0x7E04;
// The device failed (its other side hung up); Param1: the magnitude of the code.
inline constexpr uint16_t cwmDeviceLost = 0x7E05;
inline constexpr uint16_t cwmClosePending = 0x7E0A;

// Received bytes beyond the dispatch buffer wait in the device's own queue.
constexpr uint32_t DispatchBufferSize = 8192;
constexpr uint16_t AvailTriggerHandle = 1;
constexpr auto DeliveryWait = std::chrono::milliseconds(3000);
// Received bytes are offered at most once in this time, one frame of a 60 Hz display (16.7 ms,
// rounded up), which is as soon as a window can show them: a stream then costs the threads some
// sixty hand-offs a second however finely the device sends it.
constexpr auto AvailPace = std::chrono::milliseconds(17);
// An event pass offers a flowing stream batch after batch for this long at most; then device
// events (a vanished device) are waited for again. Each batch looks at the modem lines itself, so
// a change of them is seen within a pace while a stream flows.
constexpr auto PassLength = std::chrono::milliseconds(50);

enum TStatusKind : uint16_t {
    skNone = 0,
    skModem = 1,
    skLineError = 2,
    skOutFree = 3,
    skOutUsed = 4,
    skOutSent = 5,
};

struct TStatusWatch {
    uint16_t Handle = 0;
    uint16_t Kind = 0;
    uint16_t Value = 0;
    uint8_t ModemReference = 0;
    bool Active = false;
    bool Hit = false;
};

// What a close keeps for the next open of the same port.
struct TSavedTriggers {
    uint16_t AvailThreshold = 0;
    std::vector<TStatusWatch> StatusWatches;
};

struct TPortConfig {
    std::string DevicePath;
    int32_t Baud = 19200;
    uint8_t Parity = 0;
    uint16_t DataBits = 8;
    uint16_t StopBits = 1;
    uint16_t InSize = 4096;
    uint16_t OutSize = 4096;
    bool DTR = true;
    bool RTS = true;
};

// Flow-control option bits as the component passes them.
inline constexpr uint8_t hfUseDTR = 0x01;
inline constexpr uint8_t hfUseRTS = 0x02;
inline constexpr uint8_t hfRequireDSR = 0x04;
inline constexpr uint8_t hfRequireCTS = 0x08;
inline constexpr uint8_t sfReceive = 0x01;
inline constexpr uint8_t sfTransmit = 0x02;

class TBaseDispatcher {
public:
    TBaseDispatcher(TMessageLoop& Loop, std::shared_ptr<TComDevice> Device);
    virtual ~TBaseDispatcher();
    TBaseDispatcher(const TBaseDispatcher&) = delete;
    TBaseDispatcher& operator=(const TBaseDispatcher&) = delete;

    uint16_t Handle() const { return FHandle; }
    uint64_t Serial() const { return FSerial; }

    // Opens and configures the device and starts the worker threads: 0 or a negative code.
    virtual int InitPort(const TPortConfig& Config) = 0;
    // Discards queued and received bytes, closes the device and stops the threads; inside a
    // delivery only marks delete pending, and the threads end after the handler returns.
    virtual void DonePort() = 0;
    // Any thread: false once every worker thread has ended.
    virtual bool ThreadsActive() const = 0;

    // Output.
    int PutBlock(const uint8_t* Data, std::size_t Length);
    int PutChar(uint8_t C) { return PutBlock(&C, 1); }
    uint32_t OutBuffUsed();
    // What is not on the line yet: the output ring and the device's own transmit queue.
    uint32_t OutputPending();
    uint32_t OutBuffFree();

    // Input. GetChar gives a byte (>= 0) or -3007.
    int GetChar();
    bool CharReady();
    // Received bytes the handler has not read yet, including those of a delivery under way.
    uint32_t InBuffUsed();
    // Those and the bytes still in the device's own input queue, which the dispatch thread drains
    // once a pace: everything that has come in on the line and waits for a handler.
    uint32_t ReceivedWaiting();

    // How long the dispatch thread waits for each delivery's handler; DeliveryWait unless a test
    // shortens it. Set before InitPort.
    void SetDeliveryWait(std::chrono::milliseconds Wait) { FDeliveryWait = Wait; }

    // Triggers.
    int AddStatusTrigger(uint16_t Kind);
    int SetStatusTrigger(uint16_t Handle, uint16_t Value, bool Activate);
    int RemoveTrigger(uint16_t Handle);
    void SetAvailThreshold(uint16_t Count);
    TSavedTriggers SaveTriggers();
    void RestoreTriggers(const TSavedTriggers& Saved);
    // Holds deliveries off (WaitForText); returns the previous value. Any thread.
    bool SetBusy(bool Busy) {
        const bool Was = FBusy.exchange(Busy);
        if (Was && !Busy)
            SignalDispatch(); // what arrived meanwhile waits to be offered
        return Was;
    }
    // The dispatch thread is inside a delivery, or deliveries are held off. Any thread.
    bool Busy() const { return FBusy || FDelivering; }
    // Window thread: a handler of this dispatcher runs on it, between BeginHandling and
    // EndHandling (further up the stack), whether or not the dispatch thread still waits for it.
    // Posted messages not handled yet and the dispatch thread's pace sleep do not count.
    bool Delivering() const { return FHandling > 0; }
    bool DeletePending() const { return FDeletePending; }
    bool Killed() const { return FKill; }

    // Line conditions (the component reads the break first).
    bool CheckLineBreak();
    uint16_t GetLineError();

    // Line settings, flow control and lines.
    int SetLine(int32_t Baud, uint8_t Parity, uint16_t DataBits, uint16_t StopBits);
    int SetHWFlowOptions(uint16_t BufferFull, uint16_t BufferResume, uint8_t Options);
    int SetSWFlowOptions(uint16_t BufferFull, uint16_t BufferResume, uint8_t Directions);
    int SetFlowChars(uint8_t XOn, uint8_t XOff);
    int SetDTR(bool Raised);
    int SetRTS(bool Raised);
    int SetQueueSizes(uint16_t InSize, uint16_t OutSize);

    // Handlers.
    // The window must outlive the dispatcher.
    void RegisterWindowHandler(TNotifyWindow* Window);
    void DeregisterWindowHandler(TNotifyWindow* Window);
    void SetPortHandlerInstalled(bool Installed);
    bool ServiceNeeded();

    // Window thread, from the notification window's procedure, around the handling of M. Begin
    // is false when M must not reach a handler: a data delivery given up on before the window
    // thread got to it, or one with nothing left unread. A data delivery's count becomes the
    // bytes unread now, which a handler that ran late may have changed. End (also after a false
    // Begin) lets the dispatch thread go on.
    bool BeginHandling(TDispatchMessage& M);
    bool EndHandling(const TDispatchMessage& M);

    // Window thread: after a shutdown inside a delivery, the dispatch thread posts cwmClosePending
    // to the windows on its way out; this then waits the moments until every thread has ended.
    virtual void WaitThreadsEnded() = 0;

protected:
    // Dispatch thread: one event pass for the device events in Events, then status and timers.
    // EventPass tells whether it offered received bytes to a data handler.
    bool EventPass(uint32_t Events);
    void StatusTimerPass();
    // Window thread, during shutdown.
    void FlushInput();
    void ClearOutputRing();
    int ApplySettings(); // caller holds FGeneral
    void RefreshLineErrors() { FLineErrors |= FDevice->ReadErrors(); }
    void RefreshModemStatus();
    void ReportDeviceLost(int Code) { FDeviceError = Code; }
    void AllocateBuffers(uint16_t OutSize);
    void FreeBuffers();
    // Wakes the transmit thread for newly queued bytes.
    virtual void SignalOutput() = 0;
    // Wakes the dispatch thread for a pass: its triggers changed.
    virtual void SignalDispatch() = 0;
    // Dispatch thread: how long it may sleep without a device event before it must look again
    // (deliveries are held off, bytes wait to be offered, or a watch depends on the output's
    // progress); nothing when it may sleep until an event comes.
    std::optional<std::chrono::milliseconds> NextLook();
    // Dispatch thread: the time until the next data delivery may go (zero: now).
    std::chrono::milliseconds PaceLeft() const;
    // Dispatch thread, on its way out of a shutdown inside a delivery.
    void PostClosePending();

    // The transmit side, for the transmit thread: the contiguous run to write next (rotating the
    // ring first when the pending bytes wrap around its end), and its consumption.
    std::size_t TakeOutputRun(const uint8_t*& Run);
    void ConsumeOutput(std::size_t Count);

    TMessageLoop& FLoop;
    std::shared_ptr<TComDevice> FDevice;
    std::atomic<bool> FKill{false};
    std::atomic<bool> FDeletePending{false};
    std::atomic<bool> FBusy{false};
    std::atomic<bool> FDelivering{false};
    std::atomic<bool> FSent{false};

    std::mutex FGeneral;
    TDeviceSettings FSettings;
    int32_t FLastBaud = 0;
    bool FDTR = true, FRTS = true;
    uint16_t FInSize = 0;

private:
    struct TWindowHandler {
        TNotifyWindow* Window;
        bool Removed = false;
    };

    enum class TDelivery { Taken, NotAllTaken, NotDelivered };
    enum class TTicketState { Posted, Running, Done, GivenUp };

    void ReadDevice();
    TDelivery AvailCheck();
    bool StatusCheck(); // true when a watch fired
    void RunStatusChecks();
    void ClearHits();
    TDelivery Deliver(uint16_t Code, uint16_t Param1, uint16_t Param2Low);
    // Posts M and waits for its handling; NotDelivered when it gave up waiting.
    TDelivery SendAndWait(TNotifyWindow& Window, TDispatchMessage M);
    void FinishRemovals();   // caller holds FGeneral
    void RecomputeService(); // caller holds FGeneral
    // Ends the open take, moving the read position past its bytes; how many. Caller holds FInput.
    uint32_t EndTakeLocked();
    bool StatusHolds(const TStatusWatch& W, uint16_t& Count);

    const uint16_t FHandle;
    const uint64_t FSerial;
    std::chrono::milliseconds FDeliveryWait = DeliveryWait;
    std::chrono::steady_clock::time_point FNextAvail{}; // dispatch thread only

    // Under FGeneral.
    std::vector<TStatusWatch> FStatusWatches;
    uint16_t FHandleCounter = 1;
    uint16_t FAvailThreshold = 0;
    std::vector<TWindowHandler> FWindowHandlers;
    std::vector<TNotifyWindow*> FTargets; // dispatch thread: the windows of the delivery in flight
    bool FPortHandlerInstalled = false;
    bool FServiceNeeded = false;
    bool FHitInPass = false;

    // Under FInput.
    std::mutex FInput;
    TByteRing FDispatch; // the dispatch buffer: its unread bytes wait for a handler
    // Bytes were read since the last avail delivery. A flag, not the write position at that
    // delivery: a batch that fills the whole ring brings the write position back to where it was.
    bool FUnannounced = false;
    uint64_t FTicket = 0;
    TTicketState FTicketState = TTicketState::Done;
    uint32_t FAnnounced = 0; // the count the running data handler was given
    std::condition_variable FTicketDone;
    // The delivery whose handler's take is open (0: none) and the bytes it took, past the read
    // position. FTaken is also written without the lock by the running handler (see the take
    // rule above).
    uint64_t FTakeTicket = 0;
    std::atomic<uint32_t> FTaken{0};

    // Window thread only: the run of bytes a running data handler takes without the input lock,
    // whether a handler of the open take runs, and how many handlings of this dispatcher's
    // messages are under way (nested ones through a modal loop count each).
    const uint8_t* FRun = nullptr;
    uint32_t FRunLeft = 0;
    bool FInHandler = false;
    int FHandling = 0;

    // Under FOutput.
    std::mutex FOutput;
    TByteRing FOutRing;

    std::atomic<uint16_t> FLineErrors{0};
    std::atomic<uint8_t> FModemStatus{0};
    std::atomic<int> FDeviceError{0}; // set by the receive-event thread
    std::atomic<bool> FDeviceLostReported{false};
};

} // namespace serial
