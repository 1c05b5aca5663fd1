#pragma once
// The simulator's event log (--log), which tests read while it runs.

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace devsim {

// The --log file: one line per event, "<seconds since start> <event>", flushed at once so a
// test can read it while the simulator runs. Received bytes appear as "rx" with hex bytes.
class EventLog {
public:
    // An empty path logs nothing. Throws std::runtime_error when the file cannot be created.
    explicit EventLog(const std::string& path);
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    void Event(std::string_view text);
    void Received(std::string_view bytes);

private:
    std::FILE* file_ = nullptr;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// "RP 10\r" as "RP 10\r" with control bytes escaped, for log lines.
std::string Printable(std::string_view bytes);

} // namespace devsim
