#include "trace/data_file.h"

#include <algorithm>
#include <charconv>
#include <numeric>

namespace trace {

namespace {

void AppendNumber(std::string& out, double value, char decimalPoint) {
    char text[32];
    // The C library's "%.15g", as to_chars with a precision is specified to write it.
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15).ptr;
    if (decimalPoint != '.')
        std::replace(text, end, '.', decimalPoint);
    out.append(text, end);
}

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A number token: [+-] digits [(.|,) digits] [(e|E) [+-] digits], with a digit in the mantissa.
bool IsNumber(std::string_view token) {
    std::size_t i = 0, n = token.size();
    if (i < n && (token[i] == '+' || token[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < n && IsDigit(token[i]))
        ++i, ++digits;
    if (i < n && (token[i] == '.' || token[i] == ',')) {
        ++i;
        while (i < n && IsDigit(token[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < n && (token[i] == 'e' || token[i] == 'E')) {
        ++i;
        if (i < n && (token[i] == '+' || token[i] == '-'))
            ++i;
        const std::size_t start = i;
        while (i < n && IsDigit(token[i]))
            ++i;
        if (i == start)
            return false;
    }
    return i == n;
}

std::optional<double> ToNumber(std::string_view token) {
    if (!IsNumber(token))
        return std::nullopt;
    if (token.front() == '+')
        token.remove_prefix(1);
    std::string spelled;
    if (token.find(',') != std::string_view::npos) {
        spelled.assign(token);
        std::replace(spelled.begin(), spelled.end(), ',', '.');
        token = spelled;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (error != std::errc() || end != token.data() + token.size())
        return std::nullopt; // beyond the range of a double
    return value;
}

class TReader {
public:
    explicit TReader(std::string_view text) : text_(text) {}

    bool AtEnd() const { return pos_ == text_.size(); }
    void SkipBlanks() {
        while (pos_ < text_.size() && IsBlank(text_[pos_]))
            ++pos_;
    }
    // The next token; empty at the end of the text.
    std::string_view Token() {
        SkipBlanks();
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !IsBlank(text_[pos_]))
            ++pos_;
        tokenStart_ = start;
        return text_.substr(start, pos_ - start);
    }
    void SkipLine() {
        const std::size_t end = text_.find('\n', pos_);
        pos_ = end == std::string_view::npos ? text_.size() : end + 1;
    }
    std::size_t LineOfToken() const {
        return 1 +
               static_cast<std::size_t>(std::count(
                   text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(tokenStart_), '\n'));
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0, tokenStart_ = 0;
};

} // namespace

std::string FormatDataFile(std::span<const double> times, std::span<const double> levels,
                           char decimalPoint) {
    const std::size_t n = std::min(times.size(), levels.size());
    std::string out;
    out.reserve(n * 16);
    for (std::size_t i = 0; i < n; ++i) {
        AppendNumber(out, times[i], decimalPoint);
        out += ' ';
        AppendNumber(out, levels[i], decimalPoint);
        out += "\r\n";
    }
    return out;
}

TDataFileContents ParseDataFile(std::string_view text, std::size_t limit) {
    TDataFileContents result;
    TReader reader(text);
    for (;;) {
        reader.SkipBlanks();
        if (reader.AtEnd())
            break;
        if (result.Times.size() == limit) {
            result.LimitExceeded = true;
            break;
        }
        double point[2] = {0, 0};
        for (double& number : point) {
            const std::string_view token = reader.Token();
            if (token.empty())
                break; // the end of the text: the number reads as 0
            const auto value = ToNumber(token);
            if (!value) {
                result.BadToken = TBadToken{reader.LineOfToken(), std::string(token)};
                return result;
            }
            number = *value;
        }
        reader.SkipLine();
        result.Times.push_back(point[0]);
        result.Levels.push_back(point[1]);
    }
    return result;
}

void SortByTime(std::vector<double>& times, std::vector<double>& levels) {
    if (std::is_sorted(times.begin(), times.end()))
        return;
    std::vector<std::size_t> order(times.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return times[a] < times[b]; });
    std::vector<double> sortedTimes(times.size()), sortedLevels(levels.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        sortedTimes[i] = times[order[i]];
        sortedLevels[i] = levels[order[i]];
    }
    times.swap(sortedTimes);
    levels.swap(sortedLevels);
}

} // namespace trace
