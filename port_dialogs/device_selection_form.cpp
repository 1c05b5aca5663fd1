#include "port_dialogs/device_selection_form.h"

#include "serial/port_map.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>

namespace port_dialogs {

TDeviceSelectionForm::TDeviceSelectionForm(QWidget* Owner, serial::TDiscoveryRoots Roots)
    : QDialog(Owner), dsfComboBox(new QComboBox(this)), dsfOkBitBtn(new QPushButton("OK", this)),
      dsfCancelBitBtn(new QPushButton("Cancel", this)), FRoots(std::move(Roots)) {
    setWindowTitle("Device Selection");
    dsfComboBox->setEditable(false);
    connect(dsfOkBitBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(dsfCancelBitBtn, &QPushButton::clicked, this, &QDialog::reject);
    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch();
    Buttons->addWidget(dsfOkBitBtn);
    Buttons->addWidget(dsfCancelBitBtn);
    auto* Layout = new QVBoxLayout(this);
    Layout->addWidget(dsfComboBox);
    Layout->addLayout(Buttons);
}

void TDeviceSelectionForm::BuildList() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto Restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    dsfComboBox->clear();
    if (!ShowPorts)
        return;
    FRegistrationError = serial::RegisterAdapters(FRoots).Error;
    for (uint16_t N : serial::PresentPorts([] { QApplication::processEvents(); }))
        dsfComboBox->addItem(PortEntryPrefix + QString::number(N));
}

QStringList TDeviceSelectionForm::Items() const {
    QStringList Entries;
    for (int I = 0; I < dsfComboBox->count(); ++I)
        Entries << dsfComboBox->itemText(I);
    return Entries;
}

} // namespace port_dialogs
