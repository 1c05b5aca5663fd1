#pragma once
// TDeviceSelectionForm: the form that builds the list of ports the port dialog offers. It has a
// window of its own, which the recorder never shows; it only builds the list.

#include "serial/port_discovery.h"

#include <QDialog>
#include <QStringList>

#include <string>

class QComboBox;
class QPushButton;

namespace port_dialogs {

// The text of a port's entry in the list: this prefix and the number.
inline constexpr char PortEntryPrefix[] = "Direct to COM";

class TDeviceSelectionForm : public QDialog {
public:
    explicit TDeviceSelectionForm(QWidget* Owner = nullptr, serial::TDiscoveryRoots Roots = {});

    bool ShowPorts = true;

    // Window thread. Under the hourglass: adapters new to ports.ini get their numbers, then every
    // present port from COM1 to COM50 becomes an entry, and pending window messages are handled
    // after every number so that the windows stay painted.
    void BuildList();
    QStringList Items() const;
    // Why the adapters could not be registered by the last BuildList; empty when they were.
    const std::string& RegistrationError() const { return FRegistrationError; }

    QComboBox* dsfComboBox;
    QPushButton* dsfOkBitBtn;
    QPushButton* dsfCancelBitBtn;

private:
    serial::TDiscoveryRoots FRoots;
    std::string FRegistrationError;
};

} // namespace port_dialogs
