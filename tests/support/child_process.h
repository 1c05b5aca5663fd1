#pragma once
// Test support: a program run as a child process, as a script runs it, its standard error going to
// a file; for the programs under test and their benchmarks.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace test_support {

class TChildProcess {
public:
    // `args`: the program (looked up in PATH when it names no folder) and its arguments. A program
    // that cannot be started has no pid, and Wait gives nothing.
    TChildProcess(const std::vector<std::string>& args, const std::string& errPath);
    // Killed and reaped if still running.
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    void Signal(int signal) const;
    pid_t Pid() const { return pid_; }
    // The exit status (128 + the signal for one that ended it), or none when the program did not
    // end within `limit`.
    std::optional<int> Wait(std::chrono::milliseconds limit);
    // The most resident memory the program held, in kB, once Wait has given its status.
    long PeakResidentKb() const { return peakKb_; }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    long peakKb_ = 0;
};

} // namespace test_support
