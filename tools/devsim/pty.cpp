#include "devsim/pty.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace devsim {

namespace {

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void MakeRaw(int fd, bool setSpeed) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        Fail("tcgetattr");
    cfmakeraw(&settings);
    if (setSpeed)
        cfsetspeed(&settings, B115200);
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        Fail("tcsetattr");
}

} // namespace

PseudoTerminal::PseudoTerminal() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        Fail("openpty");
    slavePath_ = name;
    try {
        // A slave left cooked would echo the stream back to us and turn CR into LF.
        MakeRaw(slave_, true);
        MakeRaw(master_, false);
        const int flags = fcntl(master_, F_GETFL);
        if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0)
            Fail("fcntl");
        if (fcntl(master_, F_SETFD, FD_CLOEXEC) != 0 || fcntl(slave_, F_SETFD, FD_CLOEXEC) != 0)
            Fail("fcntl");
    } catch (...) {
        Hangup();
        throw;
    }
}

PseudoTerminal::~PseudoTerminal() {
    Hangup();
}

unsigned PseudoTerminal::LineSpeed() const {
    return slave_ < 0 ? 0 : ReadLineSpeed(slave_);
}

int PseudoTerminal::UnreadBySlave() const {
    int count = 0;
    if (slave_ < 0 || ioctl(slave_, FIONREAD, &count) != 0)
        return 0;
    return count;
}

void PseudoTerminal::Hangup() {
    if (master_ >= 0)
        close(master_);
    if (slave_ >= 0)
        close(slave_);
    master_ = slave_ = -1;
}

} // namespace devsim
