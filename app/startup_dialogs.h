#pragma once
// Two dialogs that start-up creates and keeps hidden for the whole run. The port settings command
// makes a fresh dialog of its own each time; the device selection form belongs to device layers
// the recorder never reaches.

#include <QDialog>

namespace app {

class TComPortOptions : public QDialog {
public:
    explicit TComPortOptions(QWidget* parent = nullptr);
};

class TfrmDeviceSelection : public QDialog {
public:
    explicit TfrmDeviceSelection(QWidget* parent = nullptr);
};

} // namespace app
