#pragma once
// How the serial stack reaches the window thread: the port's hidden notification window takes
// messages posted from worker threads and runs them on the window thread. TQtMessageLoop is the
// program's; TPlainMessageLoop serves unit tests, whose own thread plays the window thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace serial {

// What a worker thread hands to the window thread: plain values, copied, so a hand-off allocates
// nothing.
struct TDispatchMessage {
    uint16_t Code = 0;
    uint16_t Param1 = 0;
    uint32_t Param2 = 0; // high half: the dispatcher's handle
    uint64_t Serial = 0; // which dispatcher sent it: handles are reused, serials are not
    uint64_t Ticket = 0; // which delivery of that dispatcher it is
};
using TWindowProc = std::function<void(const TDispatchMessage&)>;

class TNotifyWindow {
public:
    virtual ~TNotifyWindow() = default;
    // Any thread. The window's procedure runs with M later on the window thread, in the order of
    // posting, or never if the window is destroyed first.
    virtual void Post(const TDispatchMessage& M) = 0;
};

class TMessageLoop {
public:
    virtual ~TMessageLoop() = default;
    // Window thread. Proc is the window's procedure; it runs on the window thread only.
    virtual std::unique_ptr<TNotifyWindow> CreateNotifyWindow(TWindowProc Proc) = 0;
    // Window thread: handles the messages pending now, once.
    virtual void ProcessMessages() = 0;
    // True while the application is shutting down.
    virtual bool Terminating() const = 0;
    // Window thread: an exception that escaped an event handler; the default error display.
    virtual void HandleException(std::exception_ptr Error) = 0;
};

class TPlainMessageLoop final : public TMessageLoop {
public:
    std::unique_ptr<TNotifyWindow> CreateNotifyWindow(TWindowProc Proc) override;
    void ProcessMessages() override;
    bool Terminating() const override { return false; }
    void HandleException(std::exception_ptr Error) override;

    // Handles messages until Done() holds or Timeout passes; true when Done() held.
    bool ProcessUntil(const std::function<bool()>& Done, std::chrono::milliseconds Timeout);
    // Handles messages for the whole of Duration.
    void ProcessFor(std::chrono::milliseconds Duration);
    // Exceptions that escaped handlers, in order; cleared by the call.
    std::vector<std::exception_ptr> TakeExceptions();

    void Enqueue(std::function<void()> Fn); // any thread

private:
    std::mutex FLock;
    std::condition_variable FPosted;
    std::deque<std::function<void()>> FQueue;
    std::vector<std::exception_ptr> FExceptions;
};

// The loop the port components use unless they are given one.
TMessageLoop& DefaultMessageLoop();
void SetDefaultMessageLoop(TMessageLoop* Loop);

} // namespace serial
