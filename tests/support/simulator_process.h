#pragma once
// Test support: talvir-devsim run as a child process, and a plain termios client for its line.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>
#include <termios.h>

namespace devsim_test {

using std::chrono::milliseconds;

// The real talvir-devsim started as a child process; the first line of its output is the
// slave path. Killed and reaped at destruction if still running.
class SimulatorProcess {
public:
    // `environment` entries "NAME=value" override the test's own environment.
    explicit SimulatorProcess(const std::vector<std::string>& args,
                              const std::vector<std::string>& environment = {});
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    void Signal(int signal) const;
    // The exit status, or nullopt when the process did not end normally within `limit`.
    std::optional<int> WaitExit(milliseconds limit);

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    std::string slavePath_;
};

// Runs the program to its end and returns the exit status and what it printed.
struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};
Outcome RunSimulator(const std::vector<std::string>& args);

// A plain termios client on the slave side, raw, as the recorder opens a port.
class LineClient {
public:
    explicit LineClient(const std::string& path, speed_t speed = B4000000);
    ~LineClient();
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    void SetSpeed(speed_t speed);
    void Write(std::string_view bytes);
    // Reads until `count` bytes have come or `limit` has passed.
    std::string Read(std::size_t count, milliseconds limit);
    // Reads all that comes within `span`.
    std::string ReadFor(milliseconds span);
    // Reads until the line hangs up or `limit` passes; `hungUp` tells which.
    std::string ReadUntilHangup(milliseconds limit, bool& hungUp);

private:
    int fd_ = -1;
};

} // namespace devsim_test
