#pragma once
// How the window's action handlers hand their failures to the application's error report.

#include "settings/error_report.h"

#include <exception>

namespace recorder {

// Runs an action's handler. Its failure goes to the application's error report from here rather
// than on through Qt's delivery of the action, which has no clean-up for exceptions on its way.
template <class Handler> void RunReporting(Handler&& handler) {
    try {
        handler();
    } catch (...) {
        settings::ReportError(std::current_exception());
    }
}

} // namespace recorder
