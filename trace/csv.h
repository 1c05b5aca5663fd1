#pragma once
// The trace as a comma-separated table for spreadsheets and data tools.

#include <span>
#include <string>
#include <string_view>

namespace trace {

// The table's first line, before any point.
inline constexpr std::string_view CsvHeader = "time_ms,level\n";

// The line of one point, appended to `out`.
void AppendCsvPoint(std::string& out, double time, double level);

// The comma-separated table "time_ms,level" with a header line and "." as decimal point.
std::string FormatCsv(std::span<const double> times, std::span<const double> levels);

} // namespace trace
