#pragma once
// The modal "Select Port" prompt, shown when a port is opened without a port number.

#include <QDialog>

#include <cstdint>
#include <vector>

class QComboBox;
class QPushButton;

namespace port_dialogs {

class TComSelectForm : public QDialog {
public:
    // Ports: the numbers to offer, in ascending order; the first is preselected.
    explicit TComSelectForm(const std::vector<uint16_t>& Ports, QWidget* Parent = nullptr);

    // The chosen port's number, from its entry after the leading "COM".
    uint16_t SelectedPort() const;

    QComboBox* PortsComboBox;
    QPushButton* OkBtn;
    QPushButton* AbortBtn;
};

// Offers every present port from COM1 to COM50; true and the number when the user confirms.
bool SelectComPort(uint16_t& ComNumber);

} // namespace port_dialogs
