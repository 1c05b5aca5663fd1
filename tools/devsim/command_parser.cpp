#include "devsim/command_parser.h"

#include <cctype>

namespace devsim {

std::optional<Command> ParseCommand(std::string_view line) {
    Command command;
    if (line.starts_with("RT "))
        command.test = true;
    else if (!line.starts_with("RP "))
        return std::nullopt;
    const std::string_view digits = line.substr(3);
    if (digits.size() < 2)
        return std::nullopt;
    unsigned long value = 0;
    for (const char c : digits) {
        if (c >= '0' && c <= '9')
            value = value * 16 + static_cast<unsigned>(c - '0');
        else if (c >= 'A' && c <= 'F')
            value = value * 16 + static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        if (value > kMaxDivider)
            return std::nullopt;
    }
    if (value < kMinDivider)
        return std::nullopt;
    command.divider = static_cast<unsigned>(value);
    return command;
}

std::vector<Reply> CommandParser::Receive(std::string_view bytes) {
    std::vector<Reply> replies;
    for (const char c : bytes) {
        if (streaming_) {
            // The stream ends at CR; other bytes while streaming mean nothing to the device.
            if (c == '\r') {
                streaming_ = false;
                replies.push_back({Reply::Kind::Stop, {}, {}, {}});
            }
            continue;
        }
        if (c == '\r') {
            replies.push_back(EndOfLine());
        } else if (c == '\n') {
            // A terminal may end its lines with CR LF; the LF must not spoil the next command.
            continue;
        } else if (line_.size() < kMaxLine) {
            line_ += c;
        } else {
            overlong_ = true;
        }
    }
    return replies;
}

Reply CommandParser::EndOfLine() {
    const std::string line = line_ + '\r';
    const bool overlong = overlong_;
    line_.clear();
    overlong_ = false;
    if (line == "\r") {
        if (faults_.noPrompt)
            return {Reply::Kind::PromptWithheld, faults_.noise, {}, {}};
        return {Reply::Kind::Prompt, faults_.noise + "\r\n>", {}, {}};
    }
    const auto command = overlong ? std::nullopt : ParseCommand(line.substr(0, line.size() - 1));
    if (!command)
        return {Reply::Kind::Unknown, {}, line, {}};
    if (faults_.noEcho)
        return {Reply::Kind::EchoWithheld, {}, line, *command};
    std::string echo = line;
    if (faults_.lowerEcho) {
        for (char& c : echo)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    streaming_ = true;
    return {Reply::Kind::Start, echo, line, *command};
}

} // namespace devsim
