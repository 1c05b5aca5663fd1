#pragma once
// The window's own modal boxes: the error box in which it reports the failure of an action, and
// the file dialogs of the exports.

#include <QFileDialog>
#include <QString>

#include <optional>
#include <string>

class QWidget;

namespace recorder {

// The one modal box in which the recorder reports its own failures: error icon, title "Error",
// the text and a single button "&Abort". Returns when the operator presses the button or closes
// the box; the action that failed is then abandoned.
void ShowErrorBox(QWidget* parent, const QString& text);

// Runs a file dialog of its own name; the chosen path, or none when the operator cancels.
std::optional<std::string> ChooseFile(QWidget* parent, const char* name,
                                      QFileDialog::AcceptMode mode, const QString& filter,
                                      const QString& suffix);

} // namespace recorder
