#include "serial/local_dispatcher.h"

#include "serial/errors.h"

namespace serial {

using namespace std::chrono_literals;

TLocalDispatcher::TLocalDispatcher(TMessageLoop& Loop, std::shared_ptr<TComDevice> Device)
    : TBaseDispatcher(Loop, std::move(Device)),
      FReportWindow(FLoop.CreateNotifyWindow([this](const TDispatchMessage&) { ShowFailures(); })) {
}

TLocalDispatcher::~TLocalDispatcher() {
    if (FDeviceOpen)
        DonePort();
    // After a shutdown inside a delivery the threads end by themselves; they have, or are about to.
    FKill = true;
    FOutputEvent.Set();
    FReadyEvent.Set();
    FComEvent.Set();
    FDevice->SetEventMask(0);
    WaitThreadsEnded();
}

void TLocalDispatcher::WaitThreadsEnded() {
    for (auto* T : {&FCom, &FDisp, &FOut})
        if (T->joinable())
            T->join();
    ShowFailures();
}

int TLocalDispatcher::InitPort(const TPortConfig& Config) {
    int Result = FDevice->Open(Config.DevicePath);
    if (Result < 0)
        return Result;
    FDeviceOpen = true;
    Result = FDevice->SetQueueSizes(Config.InSize, Config.OutSize);
    if (Result == 0) {
        AllocateBuffers(Config.OutSize);
        std::lock_guard Lock(FGeneral);
        FInSize = Config.InSize;
        FDTR = Config.DTR;
        FRTS = Config.RTS;
        Result = FDevice->GetSettings(FSettings);
        FLastBaud = FSettings.BaudRate;
        if (Result == 0) {
            FDevice->SetDTR(FDTR);
            FDevice->SetRTS(FRTS);
        }
    }
    if (Result == 0) {
        SetAvailThreshold(0);
        RefreshModemStatus();
        Result = SetLine(Config.Baud, Config.Parity, Config.DataBits, Config.StopBits);
    }
    if (Result < 0) {
        CloseDevice();
        FreeBuffers();
        return Result;
    }
    RefreshLineErrors();
    StartThread(FCom, FComEnded, &TLocalDispatcher::ComThread);
    StartThread(FDisp, FDispEnded, &TLocalDispatcher::DispThread);
    StartThread(FOut, FOutEnded, &TLocalDispatcher::OutThread);
    return 0;
}

void TLocalDispatcher::StartThread(std::thread& Thread, std::atomic<bool>& EndedFlag,
                                   void (TLocalDispatcher::*Run)()) {
    EndedFlag = false;
    ++FRunning;
    Thread = std::thread([this, Run, &EndedFlag] { RunWorker(Run, EndedFlag); });
    FGeneralEvent.WaitFor(3000ms);
}

void TLocalDispatcher::RunWorker(void (TLocalDispatcher::*Body)(), std::atomic<bool>& EndedFlag) {
    std::exception_ptr Failure;
    try {
        (this->*Body)();
    } catch (...) {
        Failure = std::current_exception();
    }
    if (Failure)
        ReportFailure(std::move(Failure));
    Ended(EndedFlag);
    FComEvent.Set(); // the dispatch thread now reads the device by itself, or stops the others
}

// Called once the catch handler has let go of the exception: the window thread then holds its last
// reference and frees it, as the count of references is kept where ThreadSanitizer cannot see it.
void TLocalDispatcher::ReportFailure(std::exception_ptr Error) {
    {
        std::lock_guard Lock(FFailureLock);
        FFailures.push_back(std::move(Error));
    }
    // The window, and so the message, goes with the dispatcher: this is alive when it runs.
    FReportWindow->Post({});
}

void TLocalDispatcher::ShowFailures() {
    std::vector<std::exception_ptr> Failures;
    {
        std::lock_guard Lock(FFailureLock);
        Failures.swap(FFailures);
    }
    for (auto& Error : Failures)
        FLoop.HandleException(Error);
}

void TLocalDispatcher::Ended(std::atomic<bool>& Flag) {
    Flag = true;
    --FRunning;
}

void TLocalDispatcher::DonePort() {
    // Inside a handler of this dispatcher the threads cannot be stopped here, since the dispatch
    // thread may wait for that handler: it abandons the delivery once the handler returns, stops
    // the other threads on its way out and posts cwmClosePending. Marked before the kill, so that
    // it takes that way out whatever it is doing. A dispatch thread that has ended already (it
    // failed) leaves nothing to wait for.
    const bool Defer = Delivering() && !FDispEnded;
    if (Defer)
        FDeletePending = true;
    if (FDeviceOpen) {
        FlushOutput();
        FlushInput();
        CloseDevice();
    }
    if (Defer) {
        FComEvent.Set();
        return;
    }
    StopThreads();
    FreeBuffers();
}

void TLocalDispatcher::FlushOutput() {
    if (!FOutEnded) {
        FFlush = true;
        FOutputEvent.Set();
        while (!FOutEnded && !FGeneralEvent.WaitFor(20ms)) {
        }
    }
    ClearOutputRing();
    FDevice->PurgeOutput();
}

void TLocalDispatcher::CloseDevice() {
    if (!FDeviceOpen.exchange(false))
        return;
    FKill = true;
    FDevice->SetEventMask(0);
    FReadyEvent.Set();
    FComEvent.Set();
    FGeneralEvent.Reset();
    FDevice->Close();
}

void TLocalDispatcher::WaitEnded(const std::atomic<bool>& EndedFlag) {
    // The thread may be waiting for a delivery that sits in the window thread's queue.
    while (!EndedFlag) {
        FLoop.ProcessMessages();
        std::this_thread::sleep_for(1ms);
    }
}

void TLocalDispatcher::StopThreads() {
    FKill = true;
    FOutputEvent.Set();
    WaitEnded(FOutEnded);
    FDevice->SetEventMask(0);
    FReadyEvent.Set();
    FComEvent.Set();
    FGeneralEvent.Reset();
    WaitEnded(FComEnded);
    WaitEnded(FDispEnded);
    WaitThreadsEnded();
}

void TLocalDispatcher::ComThread() {
    FDevice->SetEventMask(evAll);
    FGeneralEvent.Set();
    while (!FKill) {
        uint32_t Events = 0;
        const int Result = FDevice->WaitEvent(Events);
        if (FKill)
            break;
        if (Result < 0) {
            // The device has gone; waiting on it again would only fail again at once.
            ReportDeviceLost(Result);
            FComEvent.Set();
            break;
        }
        FLastEvents |= Events;
        FComPending = true;
        FComEvent.Set();
        FReadyEvent.Wait();
    }
}

void TLocalDispatcher::DispThread() {
    FGeneralEvent.Set();
    std::exception_ptr Failure;
    try {
        // While a stream flows, this thread reads each batch itself once the pace has passed and
        // keeps the receive-event thread parked: let go, that thread would only wake for the
        // first byte of the batch and wake this one in turn. It is let go as soon as a pass
        // offers nothing, and after a pass's length (and the pace of the pass's last delivery)
        // from the start of the pass that took its report, so that a vanished device is still
        // seen. The passes look at the modem lines themselves meanwhile.
        bool Holding = false;
        std::chrono::steady_clock::time_point HeldSince;
        while (!FKill && !FDeletePending) {
            // Without the receive-event thread the device is read every 50 ms instead.
            auto Look = FComEnded ? std::optional(50ms) : NextLook();
            if (Holding)
                Look = std::min(Look.value_or(PassLength), PaceLeft());
            if (Look)
                FComEvent.WaitFor(*Look);
            else
                FComEvent.Wait();
            if (FKill && !FDeletePending)
                break;
            // What arrives within the pace of the last data delivery gathers in the device's queue
            // meanwhile, and the receive-event thread waits too: a stream wakes the threads once a
            // pace, not once for every write of the device.
            if (const auto Left = PaceLeft(); Left.count() > 0)
                std::this_thread::sleep_for(Left);
            const auto PassStart = std::chrono::steady_clock::now();
            const bool Offered = EventPass(FLastEvents.exchange(0));
            if (FComPending) {
                if (Offered && !Holding) {
                    Holding = true;
                    HeldSince = PassStart;
                }
                if (!Offered || std::chrono::steady_clock::now() - HeldSince >= PassLength) {
                    Holding = false;
                    FComPending = false;
                    FReadyEvent.Set();
                }
            }
            StatusTimerPass();
        }
    } catch (...) {
        Failure = std::current_exception();
    }
    if (Failure) {
        // A delivery cut short ends here. A close that has begun already (delete pending or kill
        // marked) may have left the release to this thread: then it stops the others as on a
        // normal end. Otherwise they go on.
        FDelivering = false;
        const bool Closing = FKill || FDeletePending;
        ReportFailure(std::move(Failure));
        if (!Closing)
            return;
    }
    // After a shutdown during a delivery nobody else is left to stop the other threads; after a
    // normal one this repeats what the window thread does.
    FKill = true;
    FOutputEvent.Set();
    FDevice->SetEventMask(0);
    FReadyEvent.Set();
    if (FDeletePending) {
        FreeBuffers();
        PostClosePending();
    }
}

void TLocalDispatcher::OutThread() {
    FGeneralEvent.Set();
    while (!FKill && !FDeletePending) {
        FOutputEvent.Wait();
        for (;;) {
            if (FFlush.exchange(false)) {
                FGeneralEvent.Set();
                break;
            }
            if (FKill || FDeletePending)
                break;
            const uint8_t* Run = nullptr;
            const std::size_t Length = TakeOutputRun(Run);
            if (Length == 0)
                break;
            const int Written = FDevice->Write(Run, Length);
            if (Written < 0)
                ConsumeOutput(Length); // a failed write drops its bytes
            else if (Written > 0)
                ConsumeOutput(static_cast<std::size_t>(Written));
            else
                FDevice->WaitWritable(20);
        }
    }
}

} // namespace serial
