#pragma once
// The command line of talvir-convert, read into what the conversion needs. Pure.

#include "convert/range.h"

#include <optional>
#include <string>
#include <vector>

namespace convert {

struct TConvertOptions {
    std::string In;
    std::string Out;
    TFormat Format = TFormat::Vcd;
    std::optional<double> FromMs, ToMs;
};

// A command line read: the options, or a request for help or the version, or a mistake in words.
struct TConvertCommandLine {
    std::optional<TConvertOptions> Options;
    bool Help = false;
    bool Version = false;
    std::string Error;
};

// `args` without the program's name. --from and --to take their value as the next argument or
// after "=".
TConvertCommandLine ParseConvertCommandLine(const std::vector<std::string>& args);

// The text of --help.
std::string ConvertHelpText();

} // namespace convert
