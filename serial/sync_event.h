#pragma once
// A signalled/unsignalled flag that threads wait on; auto-reset events clear when a wait takes
// them, manual-reset events stay signalled until Reset. Every member may be called from any thread.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace serial {

class TSyncEvent {
public:
    explicit TSyncEvent(bool ManualReset = false) : FManual(ManualReset) {}

    void Set() {
        {
            std::lock_guard Lock(FMutex);
            FSignalled = true;
        }
        FCond.notify_all();
    }

    void Reset() {
        std::lock_guard Lock(FMutex);
        FSignalled = false;
    }

    void Wait() {
        std::unique_lock Lock(FMutex);
        FCond.wait(Lock, [this] { return FSignalled; });
        Take();
    }

    // True when the event was signalled within Timeout.
    bool WaitFor(std::chrono::milliseconds Timeout) {
        std::unique_lock Lock(FMutex);
        if (!FCond.wait_for(Lock, Timeout, [this] { return FSignalled; }))
            return false;
        Take();
        return true;
    }

private:
    void Take() {
        if (!FManual)
            FSignalled = false;
    }

    std::mutex FMutex;
    std::condition_variable FCond;
    bool FSignalled = false;
    const bool FManual;
};

} // namespace serial
