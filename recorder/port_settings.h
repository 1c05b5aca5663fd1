#pragma once
// The serial line settings as the window's status line shows them.

#include "serial/serial_port.h"

#include <QString>

namespace recorder {

// The letter of a parity in a frame summary such as 8N1; a blank for an unknown value.
QChar ParityLetter(serial::TParity parity);

// "COM1 8N1 115200": port name, data bits, parity letter, stop bits, baud rate.
QString PortSummary(const serial::TSerialPort& port);

} // namespace recorder
