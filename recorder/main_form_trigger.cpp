// The trigger of periodic sweeps: free-running, or started by a rising or a falling edge so that
// a repetitive signal stands still.

#include "recorder/main_form.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>

#include <algorithm>

namespace recorder {

void TMainForm::WireTrigger() {
    // Right of the sweep duration's caption, however wide the screen's font makes it.
    const int left = std::max(448, Label2->geometry().right() + 8);
    lblTrigger = new QLabel(QStringLiteral("Запуск"), Panel1);
    lblTrigger->setObjectName(QStringLiteral("lblTrigger"));
    lblTrigger->move(left, 22);
    lblTrigger->adjustSize();
    cmbTrigger = new QComboBox(Panel1);
    cmbTrigger->setObjectName(QStringLiteral("cmbTrigger"));
    // In the order of TSweep::TTrigger.
    cmbTrigger->addItems(
        {QStringLiteral("Свободный"), QStringLiteral("По фронту"), QStringLiteral("По спаду")});
    cmbTrigger->setToolTip(
        QStringLiteral("Запуск периодической развертки: свободный или по фронту (спаду) сигнала"));
    cmbTrigger->setGeometry(left, 34, 96, std::min(cmbTrigger->sizeHint().height(), 25));
    lblTrigger->raise();
}

acquisition::TSweep::TTrigger TMainForm::Trigger() const {
    return static_cast<acquisition::TSweep::TTrigger>(cmbTrigger->currentIndex());
}

} // namespace recorder
