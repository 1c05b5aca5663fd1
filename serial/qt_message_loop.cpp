#include "qt_message_loop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>

#include <deque>
#include <mutex>

#include <sys/eventfd.h>
#include <unistd.h>

namespace serial {

namespace {

// Messages wait in a queue of our own and an eventfd wakes the window thread, whose socket notifier
// runs them in order. No Qt object crosses threads, so every hand-off goes through a std::mutex
// that ThreadSanitizer can see.
class TQtNotifyWindow final : public TNotifyWindow {
public:
    TQtNotifyWindow()
        : FWake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
          FNotifier(std::make_unique<QSocketNotifier>(FWake, QSocketNotifier::Read)) {
        QObject::connect(FNotifier.get(), &QSocketNotifier::activated, FNotifier.get(),
                         [this] { RunPending(); });
    }

    ~TQtNotifyWindow() override {
        FNotifier.reset();
        ::close(FWake);
    }

    void Post(std::function<void()> Fn) override {
        {
            std::lock_guard Lock(FLock);
            FQueue.push_back(std::move(Fn));
        }
        const uint64_t One = 1;
        [[maybe_unused]] auto Written = ::write(FWake, &One, sizeof One);
    }

private:
    // One at a time, so a handler that processes messages itself keeps them in order.
    void RunPending() {
        uint64_t Count;
        [[maybe_unused]] auto Read = ::read(FWake, &Count, sizeof Count);
        for (;;) {
            std::function<void()> Fn;
            {
                std::lock_guard Lock(FLock);
                if (FQueue.empty())
                    return;
                Fn = std::move(FQueue.front());
                FQueue.pop_front();
            }
            Fn();
        }
    }

    const int FWake;
    std::unique_ptr<QSocketNotifier> FNotifier;
    std::mutex FLock;
    std::deque<std::function<void()>> FQueue;
};

TMessageLoop* DefaultLoop = nullptr;

} // namespace

std::unique_ptr<TNotifyWindow> TQtMessageLoop::CreateNotifyWindow() {
    return std::make_unique<TQtNotifyWindow>();
}

void TQtMessageLoop::ProcessMessages() {
    QCoreApplication::processEvents();
}

bool TQtMessageLoop::Terminating() const {
    return QCoreApplication::closingDown();
}

void TQtMessageLoop::HandleException(std::exception_ptr Error) {
    // The application's notify() shows what() in a message box; without an application object
    // there is nobody to show it to.
    if (auto* App = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            App, [Error] { std::rethrow_exception(Error); }, Qt::QueuedConnection);
}

TMessageLoop& DefaultMessageLoop() {
    static TQtMessageLoop QtLoop;
    return DefaultLoop ? *DefaultLoop : QtLoop;
}

void SetDefaultMessageLoop(TMessageLoop* Loop) {
    DefaultLoop = Loop;
}

} // namespace serial
