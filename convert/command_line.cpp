#include "convert/command_line.h"

#include <charconv>
#include <cmath>

namespace convert {

namespace {

// A decimal number with "." (what scripts write whatever the locale), at least 0.
std::optional<double> Milliseconds(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

} // namespace

TConvertCommandLine ParseConvertCommandLine(const std::vector<std::string>& args) {
    TConvertCommandLine parsed;
    TConvertOptions options;
    std::vector<std::string> files;
    const auto fail = [&parsed](std::string message) {
        parsed.Error = std::move(message);
        return parsed;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        if (name == "--help" || name == "-h") {
            parsed.Help = true;
            return parsed;
        }
        if (name == "--version") {
            parsed.Version = true;
            return parsed;
        }
        if (!name.starts_with("-") || name == "-") {
            files.push_back(name);
            continue;
        }
        std::optional<std::string> value;
        if (const std::size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name != "--from" && name != "--to")
            return fail("unknown option '" + args[i] + "'");
        if (!value) {
            if (i + 1 >= args.size())
                return fail(name + " needs a value");
            value = args[++i];
        }
        const std::optional<double> ms = Milliseconds(*value);
        if (!ms)
            return fail("bad value '" + *value + "' for " + name +
                        "; it takes milliseconds from the recording's start, such as 1500.25");
        (name == "--from" ? options.FromMs : options.ToMs) = ms;
    }
    if (files.size() != 2)
        return fail("two files are needed, the recording and the file to write");
    options.In = files[0];
    options.Out = files[1];
    const auto format = FormatForName(options.Out);
    if (!format)
        return fail("the file to write must end in .vcd, .csv, .txt or .sr");
    options.Format = *format;
    parsed.Options = options;
    return parsed;
}

std::string ConvertHelpText() {
    return R"(Usage: talvir-convert IN.tlr OUT [--from MS] [--to MS]
Writes the samples of Тальвир's recording file IN.tlr (made by the window or by talvir-record),
or of a range of it, as OUT, whose extension picks the kind:
  .vcd   a Value Change Dump, as the window exports it
  .csv   "time_ms,level" lines after a header line
  .txt   the window's data file ("time level" lines; the window loads its first 500,000)
  .sr    sigrok's session file, which sigrok-cli and the sigrok viewer open
Times count from the recording's first sample, in ms. OUT replaces a file of that name only
once it is whole, and memory does not grow with the range, whatever its length. A recording cut
short by a crash or a kill is read up to its last whole block.

Options:
  --from MS         start at the sample nearest to MS (default the first)
  --to MS           end at the sample nearest to MS, included (default the last)
  --help, -h        show this text
  --version         show the version

A damaged block (its CRC fails) in the range is an error that names its samples and times:
convert the parts before and after it with --to and --from. Progress goes to standard error
on a terminal.

Exit status:
  0  OUT was written
  1  IN could not be read, is no recording, or holds a damaged block in the range
  2  a bad command line, or a range that holds no sample
  3  OUT could not be written
)";
}

} // namespace convert
