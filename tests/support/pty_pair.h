#pragma once
// Test support: a pseudo-terminal pair whose slave side is registered as a COM number in a
// private ports.ini ($XDG_CONFIG_HOME points at a temporary folder for the test program).

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace serial::test {

// Points XDG_CONFIG_HOME at a fresh temporary folder and writes ports.ini entries into it.
class TPortsIni {
public:
    TPortsIni();
    ~TPortsIni();
    void Map(uint16_t ComNumber, const std::string& DevicePath);

private:
    std::string FDir;
    std::vector<std::pair<uint16_t, std::string>> FEntries;
};

class TPty {
public:
    TPty();
    ~TPty();
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    const std::string& SlavePath() const { return FSlavePath; }
    int Master() const { return FMaster; }
    int Slave() const { return FSlave; }
    // Writes all of Bytes to the master side (the "device" sends them).
    void Send(const std::string& Bytes);
    // Reads from the master side what the port sent, until Count bytes or Timeout.
    std::string Receive(std::size_t Count, std::chrono::milliseconds Timeout);
    // The device vanishes: the master side is closed.
    void HangUp();

private:
    int FMaster = -1;
    int FSlave = -1;
    std::string FSlavePath;
};

} // namespace serial::test
