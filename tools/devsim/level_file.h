#pragma once
// Reading the levels of a data file for the simulator's file source.

#include <string_view>
#include <vector>

namespace devsim {

// Reads the levels of a Тальвир data file: lines "time level", blanks or tabs between the
// numbers, "." as decimal point, anything after the level ignored, blank lines skipped.
// A level of 0.5 or more is 1. Throws std::runtime_error naming the line of a malformed entry,
// and for a file without any point.
std::vector<bool> ParseLevels(std::string_view text);

} // namespace devsim
