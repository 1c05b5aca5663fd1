#include "support/pty_pair.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace serial::test {

TPortsIni::TPortsIni() {
    char Template[] = "/tmp/talvir-serial-test-XXXXXX";
    if (!mkdtemp(Template))
        throw std::runtime_error("mkdtemp failed");
    FDir = Template;
    ::mkdir((FDir + "/talvir").c_str(), 0700);
    ::setenv("XDG_CONFIG_HOME", FDir.c_str(), 1);
}

TPortsIni::~TPortsIni() {
    ::unlink((FDir + "/talvir/ports.ini").c_str());
    ::unlink((FDir + "/talvir/ports.ini.lock").c_str());
    ::rmdir((FDir + "/talvir").c_str());
    ::rmdir(FDir.c_str());
}

void TPortsIni::Map(uint16_t ComNumber, const std::string& DevicePath) {
    FEntries.emplace_back(ComNumber, DevicePath);
    std::ofstream Ini(FDir + "/talvir/ports.ini", std::ios::trunc);
    Ini << "[Ports]\n";
    for (const auto& [Number, Path] : FEntries)
        Ini << "COM" << Number << "=" << Path << "\n";
}

TPty::TPty() {
    char Name[256];
    if (::openpty(&FMaster, &FSlave, Name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    FSlavePath = Name;
    // Raw on the slave side from the start, so nothing the test sends is echoed or edited
    // before the port has opened it.
    termios T;
    ::tcgetattr(FSlave, &T);
    ::cfmakeraw(&T);
    ::tcsetattr(FSlave, TCSANOW, &T);
    ::fcntl(FMaster, F_SETFL, ::fcntl(FMaster, F_GETFL) | O_NONBLOCK);
}

TPty::~TPty() {
    HangUp();
    ::close(FSlave);
}

void TPty::Send(const std::string& Bytes) {
    std::size_t Done = 0;
    while (Done < Bytes.size()) {
        ssize_t N = ::write(FMaster, Bytes.data() + Done, Bytes.size() - Done);
        if (N > 0) {
            Done += static_cast<std::size_t>(N);
        } else if (N < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error("write to pty master failed");
        } else {
            pollfd P{FMaster, POLLOUT, 0};
            ::poll(&P, 1, 10);
        }
    }
}

std::string TPty::Receive(std::size_t Count, std::chrono::milliseconds Timeout) {
    std::string Got;
    const auto Deadline = std::chrono::steady_clock::now() + Timeout;
    while (Got.size() < Count && std::chrono::steady_clock::now() < Deadline) {
        pollfd P{FMaster, POLLIN, 0};
        if (::poll(&P, 1, 10) > 0 && (P.revents & POLLIN)) {
            char Buffer[4096];
            ssize_t N = ::read(FMaster, Buffer, sizeof Buffer);
            if (N > 0)
                Got.append(Buffer, static_cast<std::size_t>(N));
        }
    }
    return Got;
}

void TPty::HangUp() {
    if (FMaster >= 0)
        ::close(FMaster);
    FMaster = -1;
}

} // namespace serial::test
