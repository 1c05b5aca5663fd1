#include "app/startup_dialogs.h"

namespace app {

TComPortOptions::TComPortOptions(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ComPortOptions"));
    setWindowTitle(QStringLiteral("Com Port Options"));
}

TfrmDeviceSelection::TfrmDeviceSelection(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmDeviceSelection"));
    setWindowTitle(QStringLiteral("Device Selection"));
}

} // namespace app
