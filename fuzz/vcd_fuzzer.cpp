// Any bytes as a Value Change Dump: the reader names a line or gives a signal, and the trace made
// of it stays within its limit, its times ascending.

#include "check.h"
#include "trace/vcd.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const trace::TVcdHeaderRead header = trace::ReadVcdVariables(text);
    if (header.Error) {
        Check(header.Error->Line >= 1 && !header.Error->Message.empty());
        return 0;
    }
    for (const trace::TVcdVariable& variable : header.Variables) {
        const trace::TVcdSignalRead read = trace::ReadVcdSignal(text, variable.Code, 2000);
        if (read.Error) {
            Check(read.Error->Line >= 1 && !read.Error->Message.empty());
            continue;
        }
        Check(std::is_sorted(read.Signal.Times.begin(), read.Signal.Times.end()));
        const trace::TVcdTrace points = trace::VcdToTrace(read.Signal, 2000);
        Check(points.Times.size() == points.Levels.size() && points.Times.size() <= 2000);
        Check(std::is_sorted(points.Times.begin(), points.Times.end()));
    }
    return 0;
}
