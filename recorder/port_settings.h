#pragma once
// The serial line settings the window shows in its status line. The serial port component takes
// this class's place once it exists; the getters carry its names so that only the type changes.

#include <QString>

namespace recorder {

enum TParity { pNone, pOdd, pEven, pMark, pSpace };

// "COM" followed by the port number.
QString PortName(int comNumber);

class TPortSettings {
public:
    int ComNumber() const { return ComNumber_; }
    void SetComNumber(int value) { ComNumber_ = value; }
    int Baud() const { return Baud_; }
    void SetBaud(int value) { Baud_ = value; }
    int DataBits() const { return DataBits_; }
    void SetDataBits(int value) { DataBits_ = value; }
    TParity Parity() const { return Parity_; }
    void SetParity(TParity value) { Parity_ = value; }
    int StopBits() const { return StopBits_; }
    void SetStopBits(int value) { StopBits_ = value; }

private:
    // Every run starts with COM1 at 115200 baud, 8N1.
    int ComNumber_ = 1;
    int Baud_ = 115200;
    int DataBits_ = 8;
    TParity Parity_ = pNone;
    int StopBits_ = 1;
};

// The letter of a parity in a frame summary such as 8N1; a blank for an unknown value.
QChar ParityLetter(TParity parity);

// "COM1 8N1 115200": port name, data bits, parity letter, stop bits, baud rate.
QString PortSummary(const TPortSettings& port);

} // namespace recorder
