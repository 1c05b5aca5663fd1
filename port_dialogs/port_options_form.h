#pragma once
// TComPortOptions: the modal dialog in which the operator chooses the serial port and its line
// settings. It never opens a port: it works on a scratch port of its own, loaded from the
// caller's port, and only ApplyToPort writes into the caller's port.
//
// Window thread only.

#include "serial/port_discovery.h"
#include "serial/serial_port.h"

#include <QDialog>
#include <QString>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace port_dialogs {

class TComPortOptions : public QDialog {
public:
    explicit TComPortOptions(QWidget* Owner = nullptr, serial::TDiscoveryRoots Roots = {});

    bool ShowPorts = true;

    // Copies every setting of Port into the scratch port, which stays closed. An open Port is the
    // running recording's: the entries that lead to its device say so.
    void LoadFromPort(const serial::TSerialPort& Port);
    // Shows the scratch port's settings and the present ports, modally; true when the operator
    // pressed OK.
    bool Execute();
    // After OK, the controls go into the scratch port; then the scratch port's settings go into
    // Target through its setters, so that an open Target applies each at once.
    void ApplyToPort(serial::TSerialPort& Target);

    bool Executed() const { return FExecuted; }
    const serial::TSerialPort& ScratchPort() const { return FPort; }

    QGroupBox* Comports;
    QComboBox* PortComboBox;
    // Under the list: the device behind the selected entry and what keeps it from opening.
    QLineEdit* PortDetails;
    QGroupBox* Bauds;
    QGroupBox* Paritys;
    QGroupBox* Databits;
    QGroupBox* Stopbits;
    QGroupBox* FlowControlBox;
    QCheckBox* DTRRTS;
    QCheckBox* RTSCTS;
    QCheckBox* SoftwareXmit;
    QCheckBox* SoftwareRcv;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QPushButton* OK;
    QPushButton* Cancel;
    // The radio items of Bauds, Paritys, Databits and Stopbits; the id of an item is its index.
    QButtonGroup* BaudItems;
    QButtonGroup* ParityItems;
    QButtonGroup* DatabitsItems;
    QButtonGroup* StopbitsItems;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    void FormShow();
    // The operator chose an entry (its index) or typed into the box (-1: no entry chosen).
    void PortComboBoxChange(int Selection);
    void ShowPortDetails();

    serial::TSerialPort FPort;
    serial::TDiscoveryRoots FRoots;
    bool FExecuted = false;
    QString FRememberedDevice;
    std::string FRecordingDevice; // the device the caller's port has open; empty when closed
    std::string FRegistrationError;
};

} // namespace port_dialogs
