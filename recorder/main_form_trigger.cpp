// The trigger of periodic sweeps: free-running, or started by a rising or a falling edge so that
// a repetitive signal stands still.

#include "recorder/main_form.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>

namespace recorder {

void TMainForm::WireTrigger() {
    lblTrigger = new QLabel(QStringLiteral("Запуск"), Panel1);
    lblTrigger->setObjectName(QStringLiteral("lblTrigger"));
    lblTrigger->move(448, 22);
    lblTrigger->adjustSize();
    cmbTrigger = new QComboBox(Panel1);
    cmbTrigger->setObjectName(QStringLiteral("cmbTrigger"));
    // In the order of TSweep::TTrigger.
    cmbTrigger->addItems(
        {QStringLiteral("Свободный"), QStringLiteral("По фронту"), QStringLiteral("По спаду")});
    cmbTrigger->setToolTip(
        QStringLiteral("Запуск периодической развертки: свободный или по фронту (спаду) сигнала"));
    cmbTrigger->setGeometry(448, 34, 96, std::min(cmbTrigger->sizeHint().height(), 25));
    lblTrigger->raise();
}

TSweep::TTrigger TMainForm::Trigger() const {
    return static_cast<TSweep::TTrigger>(cmbTrigger->currentIndex());
}

} // namespace recorder
