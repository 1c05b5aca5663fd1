#include "recorder/port_settings.h"

namespace recorder {

QChar ParityLetter(serial::TParity parity) {
    switch (parity) {
    case serial::pNone:
        return u'N';
    case serial::pOdd:
        return u'O';
    case serial::pEven:
        return u'E';
    case serial::pMark:
        return u'M';
    case serial::pSpace:
        return u'S';
    }
    return u' ';
}

QString PortSummary(const serial::TSerialPort& port) {
    return QString::fromStdString(serial::PortName(port.ComNumber())) + u' ' +
           QString::number(port.DataBits()) + ParityLetter(port.Parity()) +
           QString::number(port.StopBits()) + u' ' + QString::number(port.Baud());
}

} // namespace recorder
