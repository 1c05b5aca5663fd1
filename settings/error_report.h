#pragma once
// The way from an error caught below the application object to its error report.

#include <exception>

namespace settings {

// Hands an error to the application's error report (the application object's notify(), which
// shows it in a message box) and returns when the report is done, so that what the error
// interrupted can go on: a window whose settings could not be saved still closes. Without such a
// report the error is logged as a warning.
void ReportError(std::exception_ptr error);

} // namespace settings
