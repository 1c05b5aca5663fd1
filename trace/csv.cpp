#include "trace/csv.h"

#include "numbers/number_text.h"

#include <algorithm>

namespace trace {

std::string FormatCsv(std::span<const double> times, std::span<const double> levels) {
    const std::size_t n = std::min(times.size(), levels.size());
    std::string out = "time_ms,level\n";
    out.reserve(out.size() + n * 16);
    for (std::size_t i = 0; i < n; ++i) {
        numbers::AppendGeneral(out, times[i], '.');
        out += ',';
        numbers::AppendGeneral(out, levels[i], '.');
        out += '\n';
    }
    return out;
}

} // namespace trace
