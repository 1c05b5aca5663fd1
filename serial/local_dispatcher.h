#pragma once
// The dispatcher of a local serial device and its three worker threads.
//
// Threads, started in this order, each signalling FGeneralEvent once it runs:
// - TComThread (receive-event): waits for device events, hands each to the dispatch thread through
//   FComEvent and waits on FReadyEvent until the pass is done. A device that fails ends it and is
//   reported once as cwmDeviceLost.
// - TDispThread (dispatch): runs an event pass after every device event, or when woken through
//   FComEvent by a change of its triggers, then a status-and-timer pass; delivers to the window
//   thread, data at most once every AvailPace. It looks again without an event only when
//   NextLook says so. FComPending tells a device event, which the receive-event thread waits to
//   see handled, from such a wake-up. While a pass offers data, the receive-event thread stays
//   parked on FReadyEvent and this thread reads the device itself once each pace has passed,
//   looking at the modem lines with each batch; it lets that thread go when a pass offers
//   nothing, and at the latest PassLength (and the pace of that pass's last delivery) after the
//   start of the pass that took its report.
// - TOutThread (transmit): writes the output ring on FOutputEvent; a flush request (FFlush, then
//   FOutputEvent) is acknowledged through FGeneralEvent. Writes never block: a full device is
//   waited for in slices so a flush or kill is seen within 20 ms.
// InitPort, DonePort and the destructor run on the window thread. The kill and flush flags are
// atomics; thread ends are counted in FRunning (threads-active while not 0).
//
// An exception that escapes a worker thread ends that thread only. It is shown on the window
// thread through the message loop's HandleException (posted to FReportWindow; one the window did
// not get to before the dispatcher goes is shown by the destructor), and the thread counts as
// ended, so a close does not wait for it. FFailures is guarded by FFailureLock.

#include "serial/dispatcher.h"
#include "serial/sync_event.h"

#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace serial {

class TLocalDispatcher final : public TBaseDispatcher {
public:
    TLocalDispatcher(TMessageLoop& Loop, std::shared_ptr<TComDevice> Device);
    ~TLocalDispatcher() override;

    int InitPort(const TPortConfig& Config) override;
    void DonePort() override;
    bool ThreadsActive() const override { return FRunning > 0; }
    void WaitThreadsEnded() override;

private:
    class TWorker;
    void SignalOutput() override { FOutputEvent.Set(); }
    void SignalDispatch() override { FComEvent.Set(); }
    void FlushOutput();
    void CloseDevice();
    void StopThreads();
    void StartThread(std::thread& Thread, std::atomic<bool>& Ended,
                     void (TLocalDispatcher::*Run)());
    void WaitEnded(const std::atomic<bool>& Ended);

    void RunWorker(void (TLocalDispatcher::*Body)(), std::atomic<bool>& EndedFlag);
    void ComThread();
    void DispThread();
    void OutThread();
    void Ended(std::atomic<bool>& Flag);
    void ReportFailure(std::exception_ptr Error); // worker threads
    void ShowFailures();                          // window thread

    TSyncEvent FComEvent;
    TSyncEvent FReadyEvent;
    TSyncEvent FGeneralEvent;
    TSyncEvent FOutputEvent;
    std::atomic<bool> FFlush{false};
    std::atomic<bool> FComPending{false};
    std::atomic<uint32_t> FLastEvents{0};
    std::atomic<int> FRunning{0};
    std::atomic<bool> FComEnded{true}, FDispEnded{true}, FOutEnded{true};
    std::atomic<bool> FDeviceOpen{false};
    std::thread FCom, FDisp, FOut;
    std::unique_ptr<TNotifyWindow> FReportWindow;
    std::mutex FFailureLock;
    std::vector<std::exception_ptr> FFailures;
};

} // namespace serial
