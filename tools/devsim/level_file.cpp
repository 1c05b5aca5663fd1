#include "devsim/level_file.h"

#include <charconv>
#include <stdexcept>
#include <string>

namespace devsim {

namespace {

bool IsSeparator(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

std::string_view NextToken(std::string_view& line) {
    std::size_t start = 0;
    while (start < line.size() && IsSeparator(line[start]))
        ++start;
    std::size_t end = start;
    while (end < line.size() && !IsSeparator(line[end]))
        ++end;
    const std::string_view token = line.substr(start, end - start);
    line.remove_prefix(end);
    return token;
}

double ReadNumber(std::string_view token, std::size_t lineNumber) {
    double value = 0;
    // from_chars takes no leading '+', which the data format allows.
    const std::string_view digits = token.starts_with('+') ? token.substr(1) : token;
    const char* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value);
    const bool doubleSign = digits != token && (digits.starts_with('-') || digits.starts_with('+'));
    if (digits.empty() || doubleSign || ec != std::errc() || ptr != end)
        throw std::runtime_error("line " + std::to_string(lineNumber) + ": \"" +
                                 std::string(token) + "\" is not a number");
    return value;
}

} // namespace

std::vector<bool> ParseLevels(std::string_view text) {
    std::vector<bool> levels;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const auto lineEnd = text.find('\n');
        std::string_view line = text.substr(0, lineEnd);
        text.remove_prefix(lineEnd == std::string_view::npos ? text.size() : lineEnd + 1);
        ++lineNumber;
        const std::string_view time = NextToken(line);
        if (time.empty())
            continue;
        ReadNumber(time, lineNumber);
        const std::string_view level = NextToken(line);
        if (level.empty())
            throw std::runtime_error("line " + std::to_string(lineNumber) +
                                     ": a time without a level");
        levels.push_back(ReadNumber(level, lineNumber) >= 0.5);
    }
    if (levels.empty())
        throw std::runtime_error("it holds no points");
    return levels;
}

} // namespace devsim
