#pragma once
// The pseudo-terminal that plays the simulated device's serial line.

#include <string>

namespace devsim {

// A pseudo-terminal pair. The simulator keeps a descriptor of the slave side open itself: the
// recorder's line settings live on the slave and are read there, a recorder that closes and
// opens the port again finds the same line, and the bytes it has not read yet can be counted.
class PseudoTerminal {
public:
    // Opens the pair with both sides raw and the slave at 115200 baud, the recorder's default.
    // Throws std::system_error.
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int Master() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

    // The baud rate the reader set on the slave; 0 when none (B0) or the line is gone.
    unsigned LineSpeed() const;
    // Bytes written to the master that the slave's reader has not taken yet.
    int UnreadBySlave() const;
    // Closes both sides: the slave's reader sees a hang-up, as when a device is unplugged.
    void Hangup();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// Baud rate of a terminal, including speeds set without a B constant. Kept in its own file:
// the kernel's termios2 header cannot share a translation unit with <termios.h>.
unsigned ReadLineSpeed(int fd);

} // namespace devsim
