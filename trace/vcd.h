#pragma once
// Value Change Dump (IEEE 1364) files of a trace, for logic analyser programs and waveform
// viewers: one 1-bit wire, the level changes only.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace trace {

// What the header says besides the signal.
struct TVcdHeader {
    std::string Date;    // as the $date section shows it
    std::string Version; // the program and its version
    double SamplePeriodMs = 0;
    std::string SweepText;     // the sweep settings, in words
    std::string RecordingText; // the byte counts of the recording, in words; empty for none
};

// The VCD time unit of our files: every sample time to within 1 ps.
inline constexpr double VcdUnitMs = 1e-9;

// The file: timescale 1 ps, wire "signal" in scope "talvir", each time rounded on its own. A
// comment names the sample period and the downsample factor that gives logic analyser programs
// one sample per sample period (their sample rate comes from the timescale).
std::string FormatVcd(std::span<const double> times, std::span<const double> levels,
                      const TVcdHeader& header);

// What FormatVcd writes before the first point.
std::string FormatVcdHeader(const TVcdHeader& header);

// What FormatVcd writes after its header, point by point: a file written as its points arrive.
class TVcdChanges {
public:
    explicit TVcdChanges(double samplePeriodMs) : samplePeriodMs_(samplePeriodMs) {}
    // The text the next point adds, appended to `out`: the first value, or a change of level.
    void AppendPoint(std::string& out, double time, double level);
    // The file's last timestamp; nothing where no point came.
    void AppendEnd(std::string& out) const;

private:
    double samplePeriodMs_;
    bool started_ = false;
    char last_ = '0';
    double lastTime_ = 0;
};

// The downsample factor for a sample period: the period in time units, rounded.
std::uint64_t VcdDownsample(double samplePeriodMs);

// A 1-bit variable of a file: its identifier code and its name with the scopes around it.
struct TVcdVariable {
    std::string Code;
    std::string Name;
};

// The changes of one variable in time units of the file.
struct TVcdSignal {
    double UnitMs = 0;
    std::vector<std::int64_t> Times;
    std::vector<std::uint8_t> Levels;
    // The last timestamp of the file: the end of the last sample's period.
    std::int64_t EndTime = 0;
    // x and z values, read as 0.
    std::size_t Unknown = 0;
    // The sample period our own files name in their comment.
    std::optional<double> SamplePeriodMs;
};

// A failure with the 1-based line it was found on.
struct TVcdError {
    std::size_t Line = 0;
    std::string Message;
};

// The header of a file: its 1-bit variables (scalars and 1-bit vectors) in the order declared.
struct TVcdHeaderRead {
    std::vector<TVcdVariable> Variables;
    std::optional<TVcdError> Error;
};
TVcdHeaderRead ReadVcdVariables(std::string_view text);

// The changes of the variable with `code`, up to the first time after `changeLimit` changes (a
// trace of that many points is cut before them). A time going backwards, a value before the
// first time, an unknown section or a file cut short in a section are errors.
struct TVcdSignalRead {
    TVcdSignal Signal;
    std::optional<TVcdError> Error;
};
TVcdSignalRead ReadVcdSignal(std::string_view text, const std::string& code,
                             std::size_t changeLimit);

// The signal as trace points from its first change to its end: at the greatest common step of
// the change times, or at the sample period our own files name; at most `limit` points.
struct TVcdTrace {
    std::vector<double> Times, Levels;
    bool LimitExceeded = false;
};
TVcdTrace VcdToTrace(const TVcdSignal& signal, std::size_t limit);

} // namespace trace
