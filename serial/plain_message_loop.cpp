#include "serial/message_loop.h"

#include <algorithm>
#include <utility>

namespace serial {

namespace {

class TPlainNotifyWindow final : public TNotifyWindow {
public:
    TPlainNotifyWindow(TPlainMessageLoop& Loop, TWindowProc Proc)
        : FLoop(Loop), FProc(std::make_shared<TWindowProc>(std::move(Proc))) {}
    ~TPlainNotifyWindow() override { *FAlive = false; }

    void Post(const TDispatchMessage& M) override {
        FLoop.Enqueue([Alive = FAlive, Proc = FProc, M] {
            if (*Alive)
                (*Proc)(M);
        });
    }

private:
    TPlainMessageLoop& FLoop;
    std::shared_ptr<TWindowProc> FProc;
    // Read and cleared on the window thread only; shared so queued messages outlive the window.
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

} // namespace

std::unique_ptr<TNotifyWindow> TPlainMessageLoop::CreateNotifyWindow(TWindowProc Proc) {
    return std::make_unique<TPlainNotifyWindow>(*this, std::move(Proc));
}

void TPlainMessageLoop::Enqueue(std::function<void()> Fn) {
    {
        std::lock_guard Lock(FLock);
        FQueue.push_back(std::move(Fn));
    }
    FPosted.notify_all();
}

void TPlainMessageLoop::ProcessMessages() {
    std::deque<std::function<void()>> Batch;
    {
        std::lock_guard Lock(FLock);
        Batch.swap(FQueue);
    }
    while (!Batch.empty()) {
        auto Fn = std::move(Batch.front());
        Batch.pop_front();
        try {
            Fn();
        } catch (...) {
            HandleException(std::current_exception());
        }
    }
}

void TPlainMessageLoop::HandleException(std::exception_ptr Error) {
    std::lock_guard Lock(FLock);
    FExceptions.push_back(Error);
}

std::vector<std::exception_ptr> TPlainMessageLoop::TakeExceptions() {
    std::lock_guard Lock(FLock);
    return std::exchange(FExceptions, {});
}

bool TPlainMessageLoop::ProcessUntil(const std::function<bool()>& Done,
                                     std::chrono::milliseconds Timeout) {
    using Clock = std::chrono::steady_clock;
    const auto Deadline = Clock::now() + Timeout;
    for (;;) {
        ProcessMessages();
        if (Done())
            return true;
        const auto Now = Clock::now();
        if (Now >= Deadline)
            return false;
        // Done may also depend on worker threads, so look again at least every 5 ms.
        std::unique_lock Lock(FLock);
        FPosted.wait_until(Lock, std::min(Deadline, Now + std::chrono::milliseconds(5)),
                           [this] { return !FQueue.empty(); });
    }
}

void TPlainMessageLoop::ProcessFor(std::chrono::milliseconds Duration) {
    ProcessUntil([] { return false; }, Duration);
}

} // namespace serial
