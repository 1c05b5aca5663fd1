#pragma once

#include <string>

namespace trace {

// Appends the C library's "%.15g" of the value with the given decimal separator.
void AppendGeneral(std::string& out, double value, char decimalPoint);

} // namespace trace
