#pragma once
// The pulse figures of a trace: edges, periods, high and low widths, frequency and duty cycle.

#include <cstddef>
#include <optional>
#include <span>

namespace measure {

// Minimum, mean and maximum of a set of durations in ms; Count 0 when there was none.
struct TDurations {
    std::size_t Count = 0;
    double Min = 0;
    double Max = 0;
    double Sum = 0;

    void Add(double value);
    std::optional<double> Mean() const;
};

// Pulse figures of a trace. An edge is the first sample of the new level (a level above one half
// is high); one on the range's first point belongs to the range. Periods run from one rising edge
// to the next; high widths from a rising edge to the falling edge after it, low widths from a
// falling edge to the rising edge after it. A pulse cut by either end of the range has no known
// width and is not counted.
struct TPulseStatistics {
    std::size_t RisingEdges = 0;
    std::size_t FallingEdges = 0;
    TDurations Period;
    TDurations High;
    TDurations Low;
    // The high time within whole periods, so that the duty cycle is their time-weighted mean.
    double HighInPeriods = 0;

    // 1000 / mean period: Hz, as the times are ms.
    std::optional<double> Frequency() const;
    // The share of the whole periods spent high, 0 .. 1.
    std::optional<double> Duty() const;
};

// The figures fed edge by edge, in the order of their times, for traces that come in pieces: the
// sweep's points or a recording's blocks.
class TPulseAccumulator {
public:
    // An edge at time t (ms) that begins the level `high`.
    void Edge(bool high, double t);
    // A gap in the samples: the pulses and periods under way are not whole and are not counted.
    void Gap();

    const TPulseStatistics& Statistics() const { return result_; }

private:
    TPulseStatistics result_;
    // Times of the last edges seen; a pulse that starts before the first one is unknown.
    std::optional<double> rise_;
    std::optional<double> fall_;
    // High width of the pulse that began at rise_, once its falling edge has come.
    double riseHigh_ = 0;
};

// The figures of points [first, last) of a trace whose times ascend, in one pass.
TPulseStatistics PulseStatistics(std::span<const double> times, std::span<const double> levels,
                                 std::size_t first, std::size_t last);

} // namespace measure
