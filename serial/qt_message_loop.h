#pragma once
// The program's message loop: a notification window wakes the window thread through a socket
// notifier and runs the messages there; an exception from a handler goes to the application's
// error display by being rethrown from a queued call on the application object.

#include "serial/message_loop.h"

namespace serial {

class TQtMessageLoop final : public TMessageLoop {
public:
    std::unique_ptr<TNotifyWindow> CreateNotifyWindow(TWindowProc Proc) override;
    void ProcessMessages() override;
    bool Terminating() const override;
    void HandleException(std::exception_ptr Error) override;
};

} // namespace serial
