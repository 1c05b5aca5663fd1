#include "serial/qt_message_loop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>

#include <mutex>
#include <vector>

#include <sys/eventfd.h>
#include <unistd.h>

namespace serial {

namespace {

// Messages wait in a queue of our own and an eventfd wakes the window thread, whose socket notifier
// runs them in order. No Qt object crosses threads, so every hand-off goes through a std::mutex
// that ThreadSanitizer can see. The queue is a vector that keeps its storage: a stream of
// deliveries allocates nothing.
class TQtNotifyWindow final : public TNotifyWindow {
public:
    explicit TQtNotifyWindow(TWindowProc Proc)
        : FProc(std::move(Proc)), FWake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
          FNotifier(std::make_unique<QSocketNotifier>(FWake, QSocketNotifier::Read)) {
        QObject::connect(FNotifier.get(), &QSocketNotifier::activated, FNotifier.get(),
                         [this] { RunPending(); });
    }

    ~TQtNotifyWindow() override {
        FNotifier.reset();
        ::close(FWake);
    }

    void Post(const TDispatchMessage& M) override {
        {
            std::lock_guard Lock(FLock);
            FQueue.push_back(M);
        }
        const uint64_t One = 1;
        [[maybe_unused]] auto Written = ::write(FWake, &One, sizeof One);
    }

private:
    // One at a time, so a handler that processes messages itself keeps them in order; and only
    // those that were waiting on entry, so a message posted again and again from the handlers'
    // own doings (a stream, a close waiting for its threads) still lets Qt paint and take input
    // between them. Later ones are announced by the eventfd again.
    void RunPending() {
        uint64_t Count;
        [[maybe_unused]] auto Read = ::read(FWake, &Count, sizeof Count);
        std::size_t Waiting;
        {
            std::lock_guard Lock(FLock);
            Waiting = FQueue.size() - FHead;
        }
        for (; Waiting > 0; --Waiting) {
            TDispatchMessage M;
            {
                std::lock_guard Lock(FLock);
                if (FHead == FQueue.size())
                    return; // a nested run took them
                M = FQueue[FHead++];
                if (FHead == FQueue.size()) {
                    FQueue.clear();
                    FHead = 0;
                }
            }
            FProc(M);
        }
    }

    const TWindowProc FProc;
    const int FWake;
    std::unique_ptr<QSocketNotifier> FNotifier;
    std::mutex FLock;
    std::vector<TDispatchMessage> FQueue;
    std::size_t FHead = 0; // the next message to run
};

TMessageLoop* DefaultLoop = nullptr;

} // namespace

std::unique_ptr<TNotifyWindow> TQtMessageLoop::CreateNotifyWindow(TWindowProc Proc) {
    return std::make_unique<TQtNotifyWindow>(std::move(Proc));
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
