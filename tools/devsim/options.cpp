#include "devsim/options.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "devsim/sources.h"

namespace devsim {

namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        text.remove_prefix(at + 1);
    }
}

template <typename T> std::optional<T> ParseNumber(std::string_view text) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(value))
            return std::nullopt;
    }
    return value;
}

template <typename T> T Number(std::string_view text, std::string_view what) {
    const auto value = ParseNumber<T>(text);
    if (!value)
        throw UsageError(std::string(what) + " is not a valid number: \"" + std::string(text) +
                         "\"");
    return *value;
}

double Positive(std::string_view text, std::string_view what) {
    const double value = Number<double>(text, what);
    if (value <= 0)
        throw UsageError(std::string(what) + " must be greater than 0: \"" + std::string(text) +
                         "\"");
    return value;
}

void ExpectParts(const std::vector<std::string_view>& parts, std::size_t least, std::size_t most,
                 std::string_view arg, std::string_view form) {
    if (parts.size() < least || parts.size() > most)
        throw UsageError("\"" + std::string(arg) + "\" should be " + std::string(form));
}

std::string Text(double value) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

// The longest glitch period: a fault once a day is the rarest a recording is made for.
constexpr double kMaxGlitchPeriodMs = 86'400'000;
// At the shortest sample period a square wave of at most this frequency has 25 samples or more
// a period, so a pulse of a quarter period fits its low half with low samples on either side.
constexpr double kMaxGlitchSquareHz = 4000;

void CheckGlitch(const SourceChoice& source) {
    if (source.periodMs > kMaxGlitchPeriodMs)
        throw UsageError("glitch period must be at most a day (" + Text(kMaxGlitchPeriodMs) +
                         " ms): \"" + source.text + "\"");
    if (source.frequencyHz > kMaxGlitchSquareHz)
        throw UsageError("glitch square wave must be at most " + Text(kMaxGlitchSquareHz) +
                         " Hz: \"" + source.text + "\"");
    const double cycles = source.periodMs * source.frequencyHz / 1000.0;
    if (cycles < 0.5 || std::abs(cycles - std::round(cycles)) > 1e-9 * cycles)
        throw UsageError("glitch period must be a whole number of the square wave's periods (" +
                         Text(1000.0 / source.frequencyHz) + " ms): \"" + source.text + "\"");
    const double sampleUs = 1e6 / static_cast<double>(SamplesPerSecond(kMinDivider));
    if (source.widthUs < sampleUs)
        throw UsageError("glitch width is shorter than one sample (" + Text(sampleUs) +
                         " us at the shortest sample period): \"" + source.text + "\"");
    const double quarterUs = 250000.0 / source.frequencyHz;
    if (source.widthUs > quarterUs)
        throw UsageError("glitch width must be at most a quarter of the square wave's period (" +
                         Text(quarterUs) + " us): \"" + source.text + "\"");
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// At the shortest sample period a bit of at most this baud rate spans four samples or more.
constexpr std::uint32_t kMaxBaud = 25600;

void ParseUart(const std::vector<std::string_view>& parts, std::string_view arg,
               SourceChoice& source) {
    ExpectParts(parts, 3, std::string_view::npos, arg, "uart:BAUD:TEXT[:PARITY]");
    source.kind = SourceChoice::Kind::Uart;
    source.baud = Number<std::uint32_t>(parts[1], "uart baud rate");
    if (source.baud == 0 || source.baud > kMaxBaud)
        throw UsageError("uart baud rate must lie between 1 and " + std::to_string(kMaxBaud) +
                         ": \"" + std::string(parts[1]) + "\"");
    // The text runs to the end and may hold ':', unless a parity's name ends it.
    std::string_view text = arg.substr(parts[0].size() + parts[1].size() + 2);
    const std::string_view last = parts.back();
    if (parts.size() > 3 && (last == "none" || last == "odd" || last == "even")) {
        source.parity = last == "odd"    ? Parity::Odd
                        : last == "even" ? Parity::Even
                                         : Parity::None;
        text.remove_suffix(last.size() + 1);
    }
    source.uartText = DecodeEscapes(text);
    if (source.uartText.empty())
        throw UsageError("uart needs a text: \"" + std::string(arg) + "\"");
}

std::uint8_t Byte(std::string_view text, std::string_view what) {
    const auto value = ParseNumber<unsigned>(text);
    if (!value || *value > 255)
        throw UsageError(std::string(what) + " must be a whole number from 0 to 255: \"" +
                         std::string(text) + "\"");
    return static_cast<std::uint8_t>(*value);
}

// The 1-Wire ROM as it is written: 14 hex digits, the serial number and then the family code,
// the CRC left to the simulator.
std::uint64_t RomWithoutCrc(std::string_view text) {
    const bool digits =
        std::all_of(text.begin(), text.end(), [](char c) { return HexDigit(c) >= 0; });
    if (text.size() != 14 || !digits)
        throw UsageError("onewire ROM must be 14 hex digits, the serial number and then the family "
                         "code, without the CRC: \"" +
                         std::string(text) + "\"");
    std::uint64_t value = 0;
    for (const char c : text)
        value = value << 4 | static_cast<unsigned>(HexDigit(c));
    return value;
}

} // namespace

SourceChoice ParseSource(std::string_view arg) {
    const auto parts = Split(arg, ':');
    SourceChoice source;
    source.text = std::string(arg);
    const std::string_view kind = parts[0];
    if (kind == "square") {
        ExpectParts(parts, 2, 3, arg, "square:FREQ_HZ[:DUTY]");
        source.kind = SourceChoice::Kind::Square;
        source.frequencyHz = Positive(parts[1], "square frequency");
        if (parts.size() == 3) {
            source.duty = Number<double>(parts[2], "square duty");
            if (source.duty <= 0 || source.duty >= 1)
                throw UsageError("square duty must lie between 0 and 1 (exclusive): \"" +
                                 std::string(parts[2]) + "\"");
        }
    } else if (kind == "pulses") {
        ExpectParts(parts, 3, 3, arg, "pulses:WIDTH_US:PERIOD_US");
        source.kind = SourceChoice::Kind::Pulses;
        source.widthUs = Positive(parts[1], "pulse width");
        source.periodUs = Positive(parts[2], "pulse period");
        if (source.widthUs >= source.periodUs)
            throw UsageError("pulse width must be shorter than the period: \"" + std::string(arg) +
                             "\"");
    } else if (kind == "glitch") {
        ExpectParts(parts, 3, 4, arg, "glitch:PERIOD_MS:WIDTH_US[:FREQ_HZ]");
        source.kind = SourceChoice::Kind::Glitch;
        source.periodMs = Positive(parts[1], "glitch period");
        source.widthUs = Positive(parts[2], "glitch width");
        if (parts.size() == 4)
            source.frequencyHz = Positive(parts[3], "glitch square frequency");
        CheckGlitch(source);
    } else if (kind == "prbs") {
        ExpectParts(parts, 2, 2, arg, "prbs:SEED");
        source.kind = SourceChoice::Kind::Prbs;
        source.seed = Number<std::uint32_t>(parts[1], "prbs seed");
        if (source.seed == 0)
            throw UsageError("prbs seed must not be 0 (the generator would only give zeros)");
    } else if (kind == "file") {
        if (arg.size() <= 5)
            throw UsageError("\"" + std::string(arg) + "\" should be file:PATH");
        source.kind = SourceChoice::Kind::File;
        source.path = std::string(arg.substr(5)); // a path may itself hold ':'
    } else if (kind == "uart") {
        ParseUart(parts, arg, source);
    } else if (kind == "nec") {
        ExpectParts(parts, 3, 3, arg, "nec:ADDRESS:COMMAND");
        source.kind = SourceChoice::Kind::Nec;
        source.address = Byte(parts[1], "nec address");
        source.command = Byte(parts[2], "nec command");
    } else if (kind == "onewire") {
        ExpectParts(parts, 2, 2, arg, "onewire:ROM");
        source.kind = SourceChoice::Kind::OneWire;
        source.rom = RomWithoutCrc(parts[1]);
    } else {
        throw UsageError("unknown source \"" + std::string(arg) +
                         "\" (square, pulses, glitch, prbs, file, uart, nec or onewire)");
    }
    return source;
}

void ApplyFault(std::string_view arg, Faults& faults) {
    const auto parts = Split(arg, ':');
    const std::string_view kind = parts[0];
    if (kind == "no-prompt" && parts.size() == 1) {
        faults.noPrompt = true;
    } else if (kind == "no-echo" && parts.size() == 1) {
        faults.noEcho = true;
    } else if (kind == "lower-echo" && parts.size() == 1) {
        faults.lowerEcho = true;
    } else if (kind == "noise" && parts.size() >= 2) {
        faults.noise = DecodeEscapes(arg.substr(6)); // the text may itself hold ':'
        if (faults.noise.empty())
            throw UsageError("noise needs a text: noise:TEXT");
    } else if (kind == "stall") {
        ExpectParts(parts, 2, 3, arg, "stall:MS[:AFTER_BYTES]");
        Stall stall;
        stall.ms = Number<std::int64_t>(parts[1], "stall time");
        if (stall.ms <= 0)
            throw UsageError("stall time must be greater than 0 ms");
        if (parts.size() == 3)
            stall.afterBytes = Number<std::uint64_t>(parts[2], "stall position");
        faults.stall = stall;
    } else if (kind == "hangup") {
        ExpectParts(parts, 2, 2, arg, "hangup:BYTES");
        faults.hangupAfterBytes = Number<std::uint64_t>(parts[1], "hang-up byte count");
    } else {
        throw UsageError("unknown fault \"" + std::string(arg) +
                         "\" (no-prompt, no-echo, lower-echo, noise:TEXT, stall:MS, "
                         "hangup:BYTES)");
    }
    if (faults.noEcho && faults.lowerEcho)
        throw UsageError("the faults no-echo and lower-echo exclude each other");
}

std::string DecodeEscapes(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            throw UsageError("text ends in a lone backslash");
        switch (text[i]) {
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
            out += '\\';
            break;
        case 'x': {
            const int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
            if (high < 0 || low < 0)
                throw UsageError("\\x in a text needs two hexadecimal digits");
            out += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            throw UsageError(std::string("unknown escape \\") + text[i] + " in a text");
        }
    }
    return out;
}

Options ParseOptions(const std::vector<std::string>& args) {
    Options options;
    std::optional<unsigned> divider;
    std::optional<double> seconds;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (arg == "--version") {
            options.version = true;
            continue;
        }
        std::string_view name = arg;
        std::optional<std::string_view> inlineValue;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        auto value = [&]() -> std::string_view {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 == args.size())
                throw UsageError("option " + std::string(name) + " needs a value");
            return args[++i];
        };
        if (name == "--source") {
            options.source = ParseSource(value());
        } else if (name == "--fault") {
            ApplyFault(value(), options.faults);
        } else if (name == "--rate") {
            const std::string_view rate = value();
            if (rate == "line")
                options.rate = RateMode::Line;
            else if (rate == "max")
                options.rate = RateMode::Max;
            else
                throw UsageError("--rate takes line or max, not \"" + std::string(rate) + "\"");
        } else if (name == "--com") {
            const int com = Number<int>(value(), "COM number");
            if (com < 1 || com > 50)
                throw UsageError("COM number must lie between 1 and 50");
            options.comNumber = com;
        } else if (name == "--log") {
            options.logPath = std::string(value());
            if (options.logPath.empty())
                throw UsageError("--log needs a file path");
        } else if (name == "--make-recording") {
            options.recording.emplace().path = std::string(value());
            if (options.recording->path.empty())
                throw UsageError("--make-recording needs a file path");
        } else if (name == "--divider") {
            divider = Number<unsigned>(value(), "divider");
            if (*divider < kMinDivider || *divider > kMaxDivider)
                throw UsageError("the divider must lie between 16 and 65535");
        } else if (name == "--seconds") {
            seconds = Positive(value(), "--seconds");
            // A month at the shortest period is 33 GB; more is surely a slip of the finger.
            if (*seconds > 31 * 86400.0)
                throw UsageError("--seconds may be at most 2678400 (31 days)");
        } else {
            throw UsageError("unknown option \"" + std::string(arg) + "\"");
        }
    }
    if (!options.recording && (divider || seconds))
        throw UsageError("--divider and --seconds go with --make-recording");
    if (options.recording) {
        if (!seconds)
            throw UsageError("--make-recording needs --seconds");
        options.recording->seconds = *seconds;
        options.recording->divider = divider.value_or(kMinDivider);
    }
    return options;
}

std::string HelpText() {
    return R"(Usage: talvir-devsim [OPTION]...
Plays the measuring device of Тальвир on a pseudo-terminal. The first line written to
standard output is the path of the terminal's slave side; the recorder opens that path.

Dialogue: CR is answered with CR LF ">". "RP " or "RT " with the divider n in upper-case
hexadecimal (at least two digits, 16 <= n <= 65535) and CR is echoed byte for byte, then
sample bytes stream at 11059200 / (6n + 12) samples per second, 8 samples per byte, the
earliest in the most significant bit. A CR while streaming stops the stream. A command it
does not understand gets no answer. LF bytes between commands are ignored.

Options:
  --source SOURCE  signal streamed after "RP" (default square:1000):
                    square:FREQ_HZ[:DUTY]   level 1 for the first DUTY (0..1, default 0.5)
                                            of each period, starting with the first sample
                    pulses:WIDTH_US:PERIOD_US  level 1 for WIDTH_US at the start of each period
                    glitch:PERIOD_MS:WIDTH_US[:FREQ_HZ]  square:FREQ_HZ (default 1000) with a
                                            high pulse of WIDTH_US in the middle of the low
                                            half of its first period, again every PERIOD_MS
                                            (see GLITCH)
                    prbs:SEED               xorshift32 bits, SEED 1..4294967295 (see PRBS)
                    file:PATH               replays the levels of a Тальвир data file, one per
                                            sample, from its start again at its end
                    uart:BAUD:TEXT[:PARITY] TEXT (\r \n \t \\ \xHH allowed) over and over as
                                            UART frames at BAUD (1..25600), see UART;
                                            PARITY none (default), odd or even
                    nec:ADDRESS:COMMAND     an NEC infra-red frame (ADDRESS, COMMAND 0..255)
                                            every 108 ms, see NEC
                    onewire:ROM             a 1-Wire Read ROM every 10 ms, ROM 14 hex digits
                                            (serial number, family code), see 1-WIRE
                  "RT" (test mode) always streams the test pattern: byte k is k mod 256
                  (00 01 02 ... FF 00 01 ...), counted from the echo.
  --fault FAULT   misbehave; may be given several times:
                    no-prompt       never answer CR with the prompt
                    no-echo         neither echo nor start a command
                    lower-echo      echo the command in lower case, then stream
                    noise:TEXT      send TEXT before every prompt (\r \n \t \\ \xHH allowed)
                    stall:MS[:AFTER_BYTES]  once, after AFTER_BYTES (default 256) sample bytes,
                                    send nothing for MS ms, then go on at the normal rate
                    hangup:BYTES    after BYTES sample bytes (counted from program start)
                                    close the line as an unplugged device would, then exit
  --rate MODE     line: the device rate, but never more bytes per second than the baud
                        rate set on the slave side allows at 10 bits a byte (default)
                  max:  as fast as the reader takes them
  --com N         register the slave as COMN (1..50) in $XDG_CONFIG_HOME/talvir/ports.ini
                  (default ~/.config/talvir/ports.ini); the previous entry comes back, or
                  ours is removed, when the simulator exits
  --log PATH      log every received byte (hex) and every event, with seconds since start
  --make-recording FILE  write at once to FILE the Тальвир recording (.tlr) of what the
                  source would stream after "RP" for --seconds S (required) at --divider N
                  (decimal, 16..65535, default 16), in blocks of one second; no terminal
                  is opened
  --help          show this text
  --version       show the version

PRBS: state s := SEED; for each 32-bit word: s ^= s << 13; s ^= s >> 17; s ^= s << 5
(unsigned 32-bit); the word is s, sent as 4 bytes, most significant byte first. The first
sample after the echo is bit 31 of the first word. The sequence restarts at every command.

GLITCH: at divider n a sample lasts T = (6n + 12) / 11059200 s and a square period holds
S = 1 / (FREQ_HZ T) samples. The pulse is WIDTH_US / T samples wide, rounded to the nearest
whole number (halves up), at least 1. Pulse k = 0, 1, 2, ... begins at sample
floor(c - width / 2 + 1/2), where c = (k PERIOD_MS FREQ_HZ / 1000 + 3/4) S and sample 0 is the
first after the echo. PERIOD_MS must be a whole number of square periods and at most a day
(86400000), FREQ_HZ at most 4000, WIDTH_US at least one sample at the shortest period
(9.765625 us) and at most a quarter of a square period. The pattern restarts at every command.

UART: idle high, a frame is a start bit (low), 8 data bits least significant first, the
parity bit if asked for and one stop bit (high). Each repetition of TEXT is a frame's time of
idle (10 bits, 11 with parity) and then its bytes back to back. Bit b lasts from b / BAUD to
(b + 1) / BAUD s, sample k lies at k T (see GLITCH for T) and carries the level of the bit its
moment falls in, counted exactly, so the bits never drift against the samples.

NEC: the line as a demodulating infra-red receiver gives it: idle high, the carrier's bursts
low. In units of 562.5 us: 71 idle, a 16-unit burst and 8 units space, then the address, its
inverse, the command and its inverse, each least significant bit first as a one-unit burst and
one unit (bit 0) or three (bit 1) of space, then a closing one-unit burst: 192 units, 108 ms,
over and over. Sample k carries the level of the unit its moment k T falls in.

1-WIRE: idle high, standard speed. In us from the start of each 10 ms: 1000 idle, a reset of
500 low, 30 high, the device's presence of 120 low, high to 500 after the reset, then 72 slots
of 70: Read ROM (0x33) and the 8 ROM bytes, each least significant bit first. A 1 is 6 low, a 0
written 60 low, a 0 read 30 low. The ROM bytes: the family code (ROM's last two digits), the
serial number from its lowest byte, their CRC (x^8 + x^5 + x^4 + 1). No divider resolves it:
a 1's 6 us low is shorter than the shortest sample period (decoders ask for 400 kHz).

The slave starts raw at 115200 baud. SIGINT, SIGTERM and SIGHUP end the simulator cleanly.
Exit status: 0 after a signal or a hang-up, 1 on a system error, 2 on a bad command line.
)";
}

} // namespace devsim
