#include "trace/csv.h"

#include "numbers/number_text.h"

#include <algorithm>

namespace trace {

void AppendCsvPoint(std::string& out, double time, double level) {
    numbers::AppendGeneral(out, time, '.');
    out += ',';
    numbers::AppendGeneral(out, level, '.');
    out += '\n';
}

std::string FormatCsv(std::span<const double> times, std::span<const double> levels) {
    const std::size_t n = std::min(times.size(), levels.size());
    std::string out(CsvHeader);
    out.reserve(out.size() + n * 16);
    for (std::size_t i = 0; i < n; ++i)
        AppendCsvPoint(out, times[i], levels[i]);
    return out;
}

} // namespace trace
