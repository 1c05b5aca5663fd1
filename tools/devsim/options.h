#pragma once
// The simulator's command line: the signal source, the faults, the rate mode and the COM number.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace devsim {

// A command line the simulator cannot run with; the program prints what() and exits with code 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Parity { None, Odd, Even };

struct SourceChoice {
    enum class Kind { Square, Pulses, Glitch, Prbs, File, Uart, Nec, OneWire };
    Kind kind = Kind::Square;
    double frequencyHz = 1000.0;      // Square, Glitch: the square wave
    double duty = 0.5;                // Square: share of each period at level 1
    double widthUs = 0.0;             // Pulses, Glitch
    double periodUs = 0.0;            // Pulses
    double periodMs = 0.0;            // Glitch: a whole number of square periods
    std::uint32_t seed = 1;           // Prbs
    std::string path;                 // File
    std::uint32_t baud = 9600;        // Uart
    std::string uartText;             // Uart, escapes already decoded
    Parity parity = Parity::None;     // Uart
    std::uint8_t address = 0;         // Nec
    std::uint8_t command = 0;         // Nec
    std::uint64_t rom = 0;            // OneWire: family code (lowest byte) and serial, no CRC
    std::string text = "square:1000";  // as given, for the log
};

struct Stall {
    std::int64_t ms = 0;
    std::uint64_t afterBytes = 256;
};

struct Faults {
    bool noPrompt = false;
    bool noEcho = false;
    bool lowerEcho = false;
    std::string noise; // sent before every prompt, escapes already decoded
    std::optional<Stall> stall;
    std::optional<std::uint64_t> hangupAfterBytes;
};

enum class RateMode { Line, Max };

// Instead of a port: the recording the device would send, written at once to a file.
struct OfflineRecording {
    std::string path;
    unsigned divider = 16;
    double seconds = 0;
};

struct Options {
    SourceChoice source;
    Faults faults;
    RateMode rate = RateMode::Line;
    std::optional<int> comNumber;
    std::string logPath;
    std::optional<OfflineRecording> recording;
    bool help = false;
    bool version = false;
};

// Parses the arguments after the program name. Throws UsageError with a message naming the
// offending argument.
Options ParseOptions(const std::vector<std::string>& args);

SourceChoice ParseSource(std::string_view arg);
void ApplyFault(std::string_view arg, Faults& faults);

// Turns \r \n \t \\ and \xHH into their bytes, so a noise or UART text can hold line ends.
std::string DecodeEscapes(std::string_view text);

std::string HelpText();

} // namespace devsim
