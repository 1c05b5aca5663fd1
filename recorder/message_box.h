#pragma once
// The error box in which the window reports the failure of an action.

#include <QString>

class QWidget;

namespace recorder {

// The one modal box in which the recorder reports its own failures: error icon, title "Error",
// the text and a single button "&Abort". Returns when the operator presses the button or closes
// the box; the action that failed is then abandoned.
void ShowErrorBox(QWidget* parent, const QString& text);

} // namespace recorder
