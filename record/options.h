#pragma once
// The command line of talvir-record, read into what the recording needs. Pure; no device, no file.

#include "acquisition/sweep.h"
#include "decode/client.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace record {

// What FILE's extension asks for.
enum class TOutputKind { DataFile, Vcd, Csv, Png, Recording };

struct TRecordOptions {
    std::string Port; // "COM1" .. "COM50" through the port map, or a device path
    std::int32_t Baud = 115200;
    long double PeriodMs = 0; // as typed; quantised by the recording
    std::string PeriodText;   // --period as typed; empty for the default
    long double DurationS = 0.001L;
    acquisition::TSweep::TMode Mode = acquisition::TSweep::smPeriodic;
    int Sweeps = 1; // without --seconds
    // --seconds: the recording's length in seconds of samples instead of sweeps; 0 for no limit
    // (until SIGINT or SIGTERM).
    std::optional<long double> Seconds;
    bool Test = false;
    std::string Out;
    TOutputKind Output = TOutputKind::DataFile;
    bool Quiet = false; // nothing on standard error but a failure
    // --decode, in the order given: the first decodes the line, each next the one before's output.
    std::vector<decode::TStackedDecoder> Decoders;
    std::string Annotations; // --annotations FILE; empty: the CSV goes to standard output
};

// A command line read: the options, or a request for help or the version, or a mistake in words.
struct TParsedCommandLine {
    std::optional<TRecordOptions> Options;
    bool Help = false;
    bool Version = false;
    std::string Error;
};

// `args` without the program's name. Each option takes its value as the next argument or after
// "=" ("--baud=57600").
TParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The output kind for a file name by its extension, whatever its case; none for another.
std::optional<TOutputKind> OutputKindForName(const std::string& name);

// A --decode value, DECODER[:OPTION=VALUE[,OPTION=VALUE]...], as a decoder of the stack; or what
// is wrong with it.
struct TParsedDecoder {
    std::optional<decode::TStackedDecoder> Decoder;
    std::string Error;
};
TParsedDecoder ParseDecoder(const std::string& text);

// The COM number of "COMn" (any case, 1 .. 50); 0 when the name is a device path instead.
std::uint16_t ComNumberOf(const std::string& port);

// The rates a serial line can be set to, ascending; --baud takes no other.
std::span<const std::int32_t> LineRates();

// The text of --help.
std::string HelpText();

} // namespace record
