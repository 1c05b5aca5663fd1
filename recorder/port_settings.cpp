#include "recorder/port_settings.h"

namespace recorder {

QString PortName(int comNumber) {
    return QStringLiteral("COM%1").arg(comNumber);
}

QChar ParityLetter(TParity parity) {
    switch (parity) {
    case pNone:
        return u'N';
    case pOdd:
        return u'O';
    case pEven:
        return u'E';
    case pMark:
        return u'M';
    case pSpace:
        return u'S';
    }
    return u' ';
}

QString PortSummary(const TPortSettings& port) {
    return PortName(port.ComNumber()) + u' ' + QString::number(port.DataBits()) +
           ParityLetter(port.Parity()) + QString::number(port.StopBits()) + u' ' +
           QString::number(port.Baud());
}

} // namespace recorder
