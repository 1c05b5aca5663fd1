#include "qt_message_loop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>

namespace serial {

namespace {

class TQtNotifyWindow final : public TNotifyWindow {
public:
    // Queued calls to a destroyed QObject are dropped by Qt, their functors destroyed.
    void Post(std::function<void()> Fn) override
    {
        QMetaObject::invokeMethod(&FTarget, std::move(Fn), Qt::QueuedConnection);
    }

private:
    QObject FTarget;
};

TMessageLoop* DefaultLoop = nullptr;

} // namespace

std::unique_ptr<TNotifyWindow> TQtMessageLoop::CreateNotifyWindow()
{
    return std::make_unique<TQtNotifyWindow>();
}

void TQtMessageLoop::ProcessMessages()
{
    QCoreApplication::processEvents();
}

bool TQtMessageLoop::Terminating() const
{
    return QCoreApplication::closingDown();
}

void TQtMessageLoop::HandleException(std::exception_ptr Error)
{
    // The application's notify() shows what() in a message box; without an application object
    // there is nobody to show it to.
    if (auto* App = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            App, [Error] { std::rethrow_exception(Error); }, Qt::QueuedConnection);
}

TMessageLoop& DefaultMessageLoop()
{
    static TQtMessageLoop QtLoop;
    return DefaultLoop ? *DefaultLoop : QtLoop;
}

void SetDefaultMessageLoop(TMessageLoop* Loop)
{
    DefaultLoop = Loop;
}

} // namespace serial
