#pragma once
// The trace as a comma-separated table for spreadsheets and data tools.

#include <span>
#include <string>

namespace trace {

// The comma-separated table "time_ms,level" with a header line and "." as decimal point.
std::string FormatCsv(std::span<const double> times, std::span<const double> levels);

} // namespace trace
