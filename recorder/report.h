#pragma once
// How the window's action handlers hand their failures to the application's error report.

#include "settings/error_report.h"

#include <exception>

namespace recorder {

// Runs a handler of the window: an action's, the switch's. Its failure goes to the application's
// error report from here rather than on through Qt's delivery of the action or the click, which
// has no clean-up for exceptions on its way. A handler that must tidy up first (stop what it
// started, show what it changed) does so on the exception's way out, so the operator sees the
// tidied window behind the error's message box.
template <class Handler> void RunReporting(Handler&& handler) {
    try {
        handler();
    } catch (...) {
        settings::ReportError(std::current_exception());
    }
}

} // namespace recorder
