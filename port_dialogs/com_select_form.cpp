#include "port_dialogs/com_select_form.h"

#include "serial/port_map.h"
#include "serial/serial_port.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace port_dialogs {

TComSelectForm::TComSelectForm(const std::vector<uint16_t>& Ports, QWidget* Parent)
    : QDialog(Parent), PortsComboBox(new QComboBox(this)), OkBtn(new QPushButton("OK", this)),
      AbortBtn(new QPushButton("Cancel", this)) {
    setWindowTitle("Select Port");
    for (uint16_t Port : Ports)
        PortsComboBox->addItem(QString::fromStdString(serial::PortName(Port)));
    PortsComboBox->setEditable(false);
    PortsComboBox->setCurrentIndex(Ports.empty() ? -1 : 0);
    OkBtn->setDefault(true);
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(AbortBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch();
    Buttons->addWidget(OkBtn);
    Buttons->addWidget(AbortBtn);
    auto* Layout = new QVBoxLayout(this);
    Layout->addWidget(new QLabel("The configured serial port is not valid.", this));
    Layout->addWidget(new QLabel("Please choose another port.", this));
    Layout->addWidget(PortsComboBox);
    Layout->addLayout(Buttons);
}

uint16_t TComSelectForm::SelectedPort() const {
    return static_cast<uint16_t>(PortsComboBox->currentText().mid(3).toUInt());
}

bool SelectComPort(uint16_t& ComNumber) {
    TComSelectForm Form(serial::PresentPorts());
    if (Form.exec() != QDialog::Accepted || Form.PortsComboBox->currentIndex() < 0)
        return false;
    ComNumber = Form.SelectedPort();
    return true;
}

} // namespace port_dialogs
