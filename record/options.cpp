#include "record/options.h"

#include "acquisition/timing.h"
#include "files/file_io.h"
#include "serial/port_map.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <string_view>

namespace record {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::optional<long long> WholeNumber(const std::string& text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// A decimal number with "." (what scripts write whatever the locale), optionally signed; finite.
std::optional<long double> DecimalNumber(const std::string& text) {
    std::string_view digits = text;
    // from_chars takes no "+" of its own; a second sign must not slip through behind it.
    if (digits.starts_with('+')) {
        digits.remove_prefix(1);
        if (digits.starts_with('+') || digits.starts_with('-'))
            return std::nullopt;
    }
    if (digits.find_first_not_of("0123456789.eE+-") != std::string_view::npos)
        return std::nullopt;
    long double value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                              std::chars_format::general);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

// About thirty years: beyond any recording, and its sample count stays within 64 bits.
constexpr long double LongestSeconds = 1e9L;

// The termios rates of Linux.
constexpr std::array<std::int32_t, 28> Rates{
    50,     75,     110,     134,     150,     200,     300,     600,    1200,   1800,
    2400,   4800,   9600,    19200,   38400,   57600,   115200,  230400, 460800, 500000,
    576000, 921600, 1000000, 1152000, 1500000, 2000000, 3000000, 4000000};

std::string RatesText() {
    std::string text;
    for (const std::int32_t rate : Rates)
        text += (text.empty() ? "" : ", ") + std::to_string(rate);
    return text;
}

} // namespace

std::span<const std::int32_t> LineRates() {
    return Rates;
}

std::optional<TOutputKind> OutputKindForName(const std::string& name) {
    static const std::map<std::string, TOutputKind> kinds{{".txt", TOutputKind::DataFile},
                                                          {".vcd", TOutputKind::Vcd},
                                                          {".csv", TOutputKind::Csv},
                                                          {".png", TOutputKind::Png},
                                                          {".tlr", TOutputKind::Recording}};
    const auto kind = kinds.find(files::LowerExtension(name));
    if (kind == kinds.end())
        return std::nullopt;
    return kind->second;
}

std::uint16_t ComNumberOf(const std::string& port) {
    if (port.size() < 4 || Lower(port.substr(0, 3)) != "com")
        return 0;
    const auto number = WholeNumber(port.substr(3));
    if (!number || *number < 1 || *number > serial::MaxComNumber)
        return 0;
    return static_cast<std::uint16_t>(*number);
}

TParsedDecoder ParseDecoder(const std::string& text) {
    const std::size_t colon = text.find(':');
    decode::TStackedDecoder decoder{text.substr(0, colon), {}};
    if (decoder.Id.empty())
        return {std::nullopt, "no decoder named in '" + text + "'"};
    if (colon == std::string::npos)
        return {decoder, ""};
    const std::string options = text.substr(colon + 1);
    for (std::size_t from = 0;;) {
        const std::size_t comma = options.find(',', from);
        const std::string option = options.substr(from, comma - from);
        const std::size_t eq = option.find('=');
        if (option.empty())
            return {std::nullopt, "an empty option in '" + text + "'"};
        if (eq == std::string::npos)
            return {std::nullopt, "option '" + option + "' of " + decoder.Id + " needs =VALUE"};
        if (eq == 0 || eq + 1 == option.size())
            return {std::nullopt, "option '" + option + "' of " + decoder.Id +
                                      " needs a name and a value"};
        decoder.Options.emplace_back(option.substr(0, eq), option.substr(eq + 1));
        if (comma == std::string::npos)
            return {decoder, ""};
        from = comma + 1;
    }
}

TParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    TParsedCommandLine parsed;
    TRecordOptions options;
    bool sweepsGiven = false;
    std::string badDecoder; // why a --decode value is wrong
    auto fail = [&parsed](std::string message) {
        parsed.Error = std::move(message);
        return parsed;
    };

    // Each option with a value and what it does with it; a false return is a bad value.
    using TSetter = std::function<bool(const std::string&)>;
    const std::map<std::string, TSetter> valued{
        {"--port",
         [&](const std::string& v) {
             options.Port = v;
             return !v.empty();
         }},
        {"--baud",
         [&](const std::string& v) {
             const auto baud = WholeNumber(v);
             if (!baud || std::find(Rates.begin(), Rates.end(), *baud) == Rates.end())
                 return false;
             options.Baud = static_cast<std::int32_t>(*baud);
             return true;
         }},
        {"--period",
         [&](const std::string& v) {
             const auto period = DecimalNumber(v);
             if (!period || *period <= 0)
                 return false;
             options.PeriodMs = *period;
             options.PeriodText = v;
             return true;
         }},
        {"--duration",
         [&](const std::string& v) {
             const auto duration = DecimalNumber(v);
             if (!duration || *duration <= 0)
                 return false;
             options.DurationS = *duration;
             return true;
         }},
        {"--mode",
         [&](const std::string& v) {
             if (v == "single")
                 options.Mode = acquisition::TSweep::smSingle;
             else if (v == "periodic")
                 options.Mode = acquisition::TSweep::smPeriodic;
             else
                 return false;
             return true;
         }},
        {"--sweeps",
         [&](const std::string& v) {
             const auto sweeps = WholeNumber(v);
             if (!sweeps || *sweeps < 1 || *sweeps > 1000000)
                 return false;
             options.Sweeps = static_cast<int>(*sweeps);
             sweepsGiven = true;
             return true;
         }},
        {"--seconds",
         [&](const std::string& v) {
             const auto seconds = DecimalNumber(v);
             if (!seconds || *seconds < 0 || *seconds > LongestSeconds)
                 return false;
             options.Seconds = *seconds;
             return true;
         }},
        {"--out",
         [&](const std::string& v) {
             options.Out = v;
             return !v.empty();
         }},
        {"--decode",
         [&](const std::string& v) {
             const TParsedDecoder decoder = ParseDecoder(v);
             if (decoder.Decoder)
                 options.Decoders.push_back(*decoder.Decoder);
             badDecoder = decoder.Error;
             return decoder.Decoder.has_value();
         }},
        {"--annotations",
         [&](const std::string& v) {
             options.Annotations = v;
             return !v.empty();
         }},
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const std::size_t eq = name.find('=');
            name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name == "--help" || name == "-h") {
            parsed.Help = true;
            return parsed;
        }
        if (name == "--version") {
            parsed.Version = true;
            return parsed;
        }
        if (name == "--test" || name == "--quiet" || name == "-q") {
            if (value)
                return fail(name + " takes no value");
            (name == "--test" ? options.Test : options.Quiet) = true;
            continue;
        }
        const auto setter = valued.find(name);
        if (setter == valued.end())
            return fail("unknown option '" + args[i] + "'");
        if (!value) {
            if (i + 1 >= args.size())
                return fail(name + " needs a value");
            value = args[++i];
        }
        if (setter->second(*value))
            continue;
        if (!badDecoder.empty())
            return fail("--decode: " + badDecoder);
        return fail("bad value '" + *value + "' for " + name +
                    (name == "--baud" ? "; a serial line takes " + RatesText() : ""));
    }

    if (options.Port.empty())
        return fail("--port is required");
    if (sweepsGiven && options.Seconds)
        return fail("--sweeps and --seconds exclude each other");
    if (options.Out.empty())
        return fail("--out is required");
    const auto kind = OutputKindForName(options.Out);
    if (!kind)
        return fail("--out: the file's extension must be .tlr, .txt, .vcd, .csv or .png");
    options.Output = *kind;
    if (!options.Annotations.empty() && options.Decoders.empty())
        return fail("--annotations needs --decode");
    if (!options.Annotations.empty() &&
        std::filesystem::path(options.Annotations).lexically_normal() ==
            std::filesystem::path(options.Out).lexically_normal())
        return fail("--annotations and --out name the same file");
    if (options.PeriodText.empty())
        options.PeriodMs = acquisition::DividerPeriod(acquisition::MinDivider);
    parsed.Options = options;
    return parsed;
}

std::string HelpText() {
    return R"(Usage: talvir-record --port PORT --out FILE [OPTION]...
Records the one-bit signal of Тальвир's measuring device on a serial port, without a window,
and writes all sweeps to FILE back to back as one continuous recording: the times go on from
sweep to sweep. FILE is written as the samples arrive, in memory that does not grow with the
length (but for .png), and takes its name only once it is whole; a .tlr is written
under its name from the start and synced about once a second, so that a recording cut
short by a crash or a kill keeps all but its last second or so.

Options:
  --port PORT       COM1 .. COM50 (through ports.ini, as the window finds them) or a device
                    path such as /dev/ttyUSB0
  --baud RATE       the line's rate (default 115200), one of the standard rates from 50 to
                    4000000 such as 9600, 57600, 230400 or 921600
  --period MS       the sample period in ms (default the shortest, 0.0097656); brought onto
                    the device's grid (6n + 12) / 11059200 s and into its range exactly as
                    the window does, which standard error then tells
  --duration S      one sweep's duration in s (default 0.001)
  --mode MODE       periodic (default): sweeps one after the other, no sample left out;
                    single: each sweep waits for the first change of level, as the window's
                    single sweep does, with no time limit on that wait
  --sweeps N        how many sweeps to record (default 1)
  --seconds S       instead of --sweeps: S seconds of samples, S / the period rounded to a
                    whole number of samples, the last sweep cut there; 0 records until
                    SIGINT or SIGTERM
  --test            the device's test pattern instead of the signal
  --out FILE        .tlr a recording file (every byte the device sent, which the window
                    opens whole and talvir-convert turns into the other kinds), .txt the
                    window's data file ("time level" lines), .vcd a Value Change Dump, .csv
                    "time_ms,level", .png a picture of the trace
  --decode DECODER[:OPTION=VALUE[,OPTION=VALUE]...]
                    decode the line as it is recorded with a protocol decoder of
                    libsigrokdecode, such as uart:baudrate=9600,parity=even; a further
                    --decode stacks a decoder on the one before (uart, then midi)
  --annotations F   write the decoders' annotations to F instead of standard output, as
                    CSV: "start_ms,end_ms,decoder,row,text", times from the first sample
  --quiet, -q       nothing on standard error but a failure
  --help, -h        show this text
  --version         show the version

The window loads only the first 500,000 points of a .txt file; standard error says so after a
longer one. A sweep must end within twice the time its bytes take at the slower of the line's
and the device's byte rate (at least 1 s). Progress goes to standard error: a bar on a
terminal, plain lines otherwise. Where the device sends more bytes a second than the
line carries at RATE (a tenth of it), standard error says so before the recording, with the
period and the rate that would do, and its last line gives the bytes received of those the
device sent. FILE is checked before the recording: a folder that is missing or takes no new
file ends it at once. SIGINT or SIGTERM stops the device and FILE is finished: with --sweeps
it holds the sweeps completed by then, with --seconds every sample received; the status says
the recording was interrupted, but after --seconds 0, whose end it is.

With --decode, the samples go to the decoder program talvir-decode as they come (found by
TALVIR_DECODE, else in ../libexec/talvir beside this program); standard output then carries
only the annotations. The recording never waits for the decoder: samples it cannot keep up
with are left undecoded, and standard error says how many. A decoder that fails (a wrong
option, a hang of 10 s, its program ended) gives one line "talvir-record: decoder: ...",
the decoding stops and the recording goes on.

Exit status:
  0  the recording was complete (or --seconds 0 was stopped) and FILE was written
  1  another failure (the line says which)
  2  a bad command line
  3  the port does not exist
  4  another program holds the port
  5  no permission to use the port
  6  the device did not answer with its prompt
  7  the device did not echo the command
  8  a line error (overrun, parity, framing, break)
  9  the device was lost (unplugged, hung up)
  10 a sweep did not complete in time
  11 FILE could not be written (the recording ends there)
  12 interrupted by a signal
  13 the recording was complete and FILE written, but the decoding failed
)";
}

} // namespace record
