#pragma once
// The simulated device's command dialogue: the commands it accepts and the answers it gives,
// with its faults applied. No input or output.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devsim/options.h"

namespace devsim {

// The device's dividers: a sample takes 6n + 12 clock cycles.
inline constexpr unsigned kMinDivider = 16;
inline constexpr unsigned kMaxDivider = 65535;

struct Command {
    bool test = false;    // "RT" rather than "RP"
    unsigned divider = 0; // kMinDivider .. kMaxDivider
};

// Parses one command line without its CR: "RP " or "RT ", then the divider in upper-case
// hexadecimal with at least two digits. Anything else, a lower-case one included, is not a
// command of this device.
std::optional<Command> ParseCommand(std::string_view line);

// What the device does in answer to received bytes.
struct Reply {
    enum class Kind {
        Prompt,         // bytes: the noise text, if any, then CR LF ">"
        PromptWithheld, // no-prompt fault; bytes: the noise text, if any
        Start,          // bytes: the echo; the stream begins after it
        EchoWithheld,   // no-echo fault: a valid command, neither echoed nor started
        Unknown,        // a line that is no command: no answer
        Stop,           // CR while streaming
    };
    Kind kind;
    std::string bytes; // to send, in order
    std::string line;  // the received line with its CR (Start, EchoWithheld, Unknown)
    Command command;   // Start, EchoWithheld
};

// The device's side of the dialogue, without any input or output: it waits for CR, answers
// with the prompt, takes a command, echoes it and then streams until the next CR.
class CommandParser {
public:
    explicit CommandParser(const Faults& faults) : faults_(faults) {}

    // Feeds received bytes; returns the device's answers in order.
    std::vector<Reply> Receive(std::string_view bytes);
    bool Streaming() const { return streaming_; }

private:
    Reply EndOfLine();

    // A command is a few bytes; a longer line is no command and is not kept whole.
    static constexpr std::size_t kMaxLine = 32;

    const Faults& faults_;
    std::string line_;
    bool overlong_ = false;
    bool streaming_ = false;
};

} // namespace devsim
