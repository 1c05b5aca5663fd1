#pragma once
// A Value Change Dump of another tool as a trace: which of its signals is taken, the points it
// gives within the point limit, and what the operator is told about it.

#include "trace/data_file.h"
#include "trace/vcd.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trace {

// Picks one of several 1-bit variables: its index, or none when the operator declines.
using TVcdChooser = std::function<std::optional<std::size_t>(const std::vector<TVcdVariable>&)>;

struct TVcdImport {
    // False when the operator declined to choose: nothing else is set.
    bool Chosen = true;
    // Where the file is not a dump of a 1-bit signal: the file, and the line where there is one,
    // and what is wrong, for "Invalid VCD file". The trace is to stay as it is.
    std::optional<std::string> Error;
    TVcdTrace Points;
    // x and z values, read as 0.
    std::size_t Unknown = 0;
};

// The trace of the file's only 1-bit variable, or of the one `choose` picks where there are
// several (`choose` is not called for one); at most `limit` points. `path` names the file in an
// error.
TVcdImport ImportVcd(std::string_view text, const std::string& path, const TVcdChooser& choose,
                     std::size_t limit = DataFilePointLimit);

// What the operator is told of x and z values read as 0; none when there were none.
std::optional<std::string> UnknownValuesNote(std::size_t unknown);

} // namespace trace
