#include "trace/vcd.h"

#include "numbers/number_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <numeric>

namespace trace {

namespace {

std::int64_t ToUnits(double ms) {
    return std::llround(static_cast<long double>(ms) / VcdUnitMs);
}

void AppendInteger(std::string& out, std::int64_t value) {
    char text[24];
    out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// The words of a file with the line each starts on.
class TTokens {
public:
    explicit TTokens(std::string_view text) : text_(text) {}

    // The next word; empty at the end of the text.
    std::string_view Next() {
        while (pos_ < text_.size() && static_cast<unsigned char>(text_[pos_]) <= 32) {
            if (text_[pos_] == '\n')
                ++line_;
            ++pos_;
        }
        const std::size_t start = pos_;
        while (pos_ < text_.size() && static_cast<unsigned char>(text_[pos_]) > 32)
            ++pos_;
        return text_.substr(start, pos_ - start);
    }
    // The words up to "$end", which is taken too; false when the text ends first.
    bool UpTo(std::vector<std::string_view>* words) {
        for (std::string_view word = Next(); !word.empty(); word = Next()) {
            if (word == "$end")
                return true;
            if (words)
                words->push_back(word);
        }
        return false;
    }
    std::size_t Line() const { return line_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0, line_ = 1;
};

std::optional<double> UnitMs(std::string_view unit) {
    static const std::pair<std::string_view, double> units[] = {
        {"s", 1e3}, {"ms", 1}, {"us", 1e-3}, {"ns", 1e-6}, {"ps", 1e-9}, {"fs", 1e-12}};
    for (const auto& [name, ms] : units)
        if (unit == name)
            return ms;
    return std::nullopt;
}

// "1 ps", "10ns", "100 us": the number and unit of a $timescale section.
std::optional<double> TimescaleMs(const std::vector<std::string_view>& words) {
    std::string joined;
    for (std::string_view word : words)
        joined += word;
    std::size_t digits = 0;
    while (digits < joined.size() && joined[digits] >= '0' && joined[digits] <= '9')
        ++digits;
    const std::string_view number = std::string_view(joined).substr(0, digits);
    if (number != "1" && number != "10" && number != "100")
        return std::nullopt;
    const auto unit = UnitMs(std::string_view(joined).substr(digits));
    if (!unit)
        return std::nullopt;
    return *unit * (number == "1" ? 1 : number == "10" ? 10 : 100);
}

// Our own files name their sample period in a comment: the points then stand at its multiples.
std::optional<double> SamplePeriodOfComment(const std::vector<std::string_view>& words) {
    for (std::size_t i = 0; i + 3 < words.size(); ++i) {
        if (words[i] == "talvir" && words[i + 1] == "sample" && words[i + 2] == "period") {
            double ms = 0;
            const std::string_view w = words[i + 3];
            if (std::from_chars(w.data(), w.data() + w.size(), ms).ec == std::errc() && ms > 0)
                return ms;
        }
    }
    return std::nullopt;
}

// The declarations, shared by the two readers: variables, timescale, our sample period.
struct TDeclarations {
    std::vector<TVcdVariable> Variables;
    // A file without a $timescale counts in seconds, as the standard's own examples do.
    double UnitMs = 1e3;
    std::optional<double> SamplePeriodMs;
    std::optional<TVcdError> Error;
};

TDeclarations ReadDeclarations(TTokens& tokens) {
    TDeclarations d;
    std::vector<std::string> scopes;
    const auto fail = [&](std::string message) {
        d.Error = TVcdError{tokens.Line(), std::move(message)};
        return d;
    };
    for (;;) {
        const std::string_view word = tokens.Next();
        if (word.empty())
            return fail("the file ends before $enddefinitions");
        std::vector<std::string_view> words;
        if (word == "$date" || word == "$version" || word == "$comment") {
            if (!tokens.UpTo(&words))
                return fail("the file ends inside " + std::string(word));
            if (word == "$comment")
                if (const auto period = SamplePeriodOfComment(words))
                    d.SamplePeriodMs = period;
        } else if (word == "$timescale") {
            if (!tokens.UpTo(&words))
                return fail("the file ends inside $timescale");
            const auto unit = TimescaleMs(words);
            if (!unit)
                return fail("a $timescale that is not 1, 10 or 100 of s, ms, us, ns, ps or fs");
            d.UnitMs = *unit;
        } else if (word == "$scope") {
            if (!tokens.UpTo(&words) || words.size() < 2)
                return fail("a $scope without a type and a name");
            scopes.emplace_back(words[1]);
        } else if (word == "$upscope") {
            if (!tokens.UpTo(nullptr) || scopes.empty())
                return fail("an $upscope without its $scope");
            scopes.pop_back();
        } else if (word == "$var") {
            if (!tokens.UpTo(&words) || words.size() < 4)
                return fail("a $var without type, size, code and name");
            if (words[1] == "1") {
                std::string name;
                for (const std::string& scope : scopes)
                    name += scope + '.';
                name += words[3];
                d.Variables.push_back({std::string(words[2]), name});
            }
        } else if (word == "$enddefinitions") {
            if (!tokens.UpTo(nullptr))
                return fail("the file ends inside $enddefinitions");
            return d;
        } else {
            return fail("an unknown section " + std::string(word));
        }
    }
}

} // namespace

std::uint64_t VcdDownsample(double samplePeriodMs) {
    return static_cast<std::uint64_t>(std::max<std::int64_t>(1, ToUnits(samplePeriodMs)));
}

std::string FormatVcdHeader(const TVcdHeader& header) {
    const std::uint64_t downsample = VcdDownsample(header.SamplePeriodMs);
    std::string out;
    out += "$date\n  " + header.Date + "\n$end\n";
    out += "$version\n  " + header.Version + "\n$end\n";
    out += "$comment\n  talvir sample period ";
    numbers::AppendGeneral(out, header.SamplePeriodMs, '.');
    out += " ms; " + header.SweepText +
           ". Logic analyser programs take the sample rate from the "
           "timescale: downsample " +
           std::to_string(downsample) +
           " gives one sample per sample period (sigrok-cli -I "
           "vcd:downsample=" +
           std::to_string(downsample) + ").\n";
    if (!header.RecordingText.empty())
        out += "  Recording: " + header.RecordingText + ".\n";
    out += "$end\n";
    out += "$timescale 1 ps $end\n$scope module talvir $end\n$var wire 1 ! signal $end\n"
           "$upscope $end\n$enddefinitions $end\n";
    return out;
}

void TVcdChanges::AppendPoint(std::string& out, double time, double level) {
    const char bit = level != 0 ? '1' : '0';
    lastTime_ = time;
    if (started_ && bit == last_)
        return;
    // The first point gives the initial value, inside $dumpvars.
    out += '#';
    AppendInteger(out, ToUnits(time));
    out += started_ ? "\n" : "\n$dumpvars\n";
    out += bit;
    out += started_ ? "!\n" : "!\n$end\n";
    started_ = true;
    last_ = bit;
}

void TVcdChanges::AppendEnd(std::string& out) const {
    if (!started_)
        return;
    // The end of the last sample's period: a logic analyser program samples up to that time.
    out += '#';
    AppendInteger(out, ToUnits(lastTime_ + samplePeriodMs_));
    out += '\n';
}

std::string FormatVcd(std::span<const double> times, std::span<const double> levels,
                      const TVcdHeader& header) {
    const std::size_t n = std::min(times.size(), levels.size());
    std::string out = FormatVcdHeader(header);
    out.reserve(out.size() + n / 4);
    TVcdChanges changes(header.SamplePeriodMs);
    for (std::size_t i = 0; i < n; ++i)
        changes.AppendPoint(out, times[i], levels[i]);
    changes.AppendEnd(out);
    return out;
}

TVcdHeaderRead ReadVcdVariables(std::string_view text) {
    TTokens tokens(text);
    TDeclarations d = ReadDeclarations(tokens);
    return {std::move(d.Variables), std::move(d.Error)};
}

TVcdSignalRead ReadVcdSignal(std::string_view text, const std::string& code,
                             std::size_t changeLimit) {
    TVcdSignalRead result;
    TTokens tokens(text);
    TDeclarations d = ReadDeclarations(tokens);
    if (d.Error) {
        result.Error = d.Error;
        return result;
    }
    TVcdSignal& signal = result.Signal;
    signal.UnitMs = d.UnitMs;
    signal.SamplePeriodMs = d.SamplePeriodMs;
    const auto fail = [&](std::string message) {
        result.Error = TVcdError{tokens.Line(), std::move(message)};
        return result;
    };
    bool timed = false;
    std::int64_t now = 0;
    const auto change = [&](char value, std::string_view id) -> bool {
        if (id != code)
            return true;
        if (!timed)
            return false;
        std::uint8_t level = 0;
        if (value == '1')
            level = 1;
        else if (value != '0')
            ++signal.Unknown;
        if (!signal.Levels.empty() && signal.Levels.back() == level)
            return true;
        if (!signal.Times.empty() && signal.Times.back() == now) {
            signal.Levels.back() = level; // the last value at one time counts
        } else {
            signal.Times.push_back(now);
            signal.Levels.push_back(level);
        }
        return true;
    };
    for (std::string_view word = tokens.Next(); !word.empty(); word = tokens.Next()) {
        if (word.front() == '#') {
            std::int64_t time = 0;
            const auto [stop, error] =
                std::from_chars(word.data() + 1, word.data() + word.size(), time);
            if (error != std::errc() || stop != word.data() + word.size() || time < 0)
                return fail("a time that is no whole number: " + std::string(word));
            if (timed && time < now)
                return fail("a time going backwards: " + std::string(word));
            now = time;
            timed = true;
            signal.EndTime = now;
            if (signal.Times.size() > changeLimit)
                break; // the trace is cut before these anyway
        } else if (word == "$dumpvars" || word == "$dumpall" || word == "$dumpon" ||
                   word == "$dumpoff" || word == "$end") {
            // Their values are read as they come; $end closes them.
        } else if (word == "$comment") {
            if (!tokens.UpTo(nullptr))
                return fail("the file ends inside $comment");
        } else if (word.front() == '$') {
            return fail("an unknown section " + std::string(word));
        } else if (word.front() == 'b' || word.front() == 'B' || word.front() == 'r' ||
                   word.front() == 'R') {
            const std::string_view id = tokens.Next();
            if (id.empty())
                return fail("a vector value without its variable");
            if (word.front() == 'b' || word.front() == 'B') {
                // A 1-bit vector: its last bit is the value.
                if (word.size() < 2 || !change(static_cast<char>(std::tolower(word.back())), id))
                    return fail("a value before the first time");
            }
        } else if (std::string_view("01xXzZ").find(word.front()) != std::string_view::npos) {
            if (word.size() < 2)
                return fail("a value without its variable");
            if (!change(static_cast<char>(std::tolower(word.front())), word.substr(1)))
                return fail("a value before the first time");
        } else {
            return fail("not a value change: " + std::string(word));
        }
    }
    return result;
}

TVcdTrace VcdToTrace(const TVcdSignal& signal, std::size_t limit) {
    TVcdTrace trace;
    if (signal.Times.empty())
        return trace;
    const std::int64_t base = signal.Times.front();
    const std::int64_t end = std::max(signal.EndTime, signal.Times.back());
    // Our own files: points at the multiples of the sample period, each time rounded on its own.
    const long double period =
        signal.SamplePeriodMs ? static_cast<long double>(*signal.SamplePeriodMs) / signal.UnitMs
                              : 0;
    std::int64_t step = 0;
    for (const std::int64_t t : signal.Times)
        step = std::gcd(step, t - base);
    step = std::gcd(step, end - base);
    const long double stride =
        period >= 1 ? period : static_cast<long double>(std::max<std::int64_t>(step, 1));
    // The last time ends the last sample's period, as logic analyser programs write and read it.
    const auto count =
        std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::llround((end - base) / stride)));
    trace.LimitExceeded = count > limit;
    const std::size_t points = static_cast<std::size_t>(std::min<std::uint64_t>(count, limit));
    trace.Times.reserve(points);
    trace.Levels.reserve(points);
    std::size_t next = 0;
    std::uint8_t level = signal.Levels.front();
    for (std::size_t k = 0; k < points; ++k) {
        const long double at = base + stride * static_cast<long double>(k);
        // A change rounded to its time unit still belongs to the sample it was written for.
        while (next < signal.Times.size() && signal.Times[next] <= std::llround(at))
            level = signal.Levels[next++];
        trace.Times.push_back(static_cast<double>(at * signal.UnitMs));
        trace.Levels.push_back(level);
    }
    return trace;
}

} // namespace trace
