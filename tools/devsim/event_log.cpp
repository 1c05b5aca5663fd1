#include "devsim/event_log.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace devsim {

EventLog::EventLog(const std::string& path) {
    if (path.empty())
        return;
    file_ = std::fopen(path.c_str(), "w");
    if (!file_)
        throw std::runtime_error("cannot create the log " + path + ": " + std::strerror(errno));
}

EventLog::~EventLog() {
    if (file_)
        std::fclose(file_);
}

void EventLog::Event(std::string_view text) {
    if (!file_)
        return;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    std::fprintf(file_, "%.6f %.*s\n", elapsed.count(), static_cast<int>(text.size()), text.data());
    std::fflush(file_);
}

void EventLog::Received(std::string_view bytes) {
    if (!file_)
        return;
    std::string line = "rx";
    char hex[4];
    for (const char c : bytes) {
        std::snprintf(hex, sizeof hex, " %02X", static_cast<unsigned char>(c));
        line += hex;
    }
    Event(line);
}

std::string Printable(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else if (u < 32 || u >= 127) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else
            out += c;
    }
    return out;
}

} // namespace devsim
