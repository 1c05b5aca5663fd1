#include "measure/pulse_statistics.h"

#include <algorithm>

namespace measure {

void TDurations::Add(double value) {
    Min = Count == 0 ? value : std::min(Min, value);
    Max = Count == 0 ? value : std::max(Max, value);
    Sum += value;
    ++Count;
}

std::optional<double> TDurations::Mean() const {
    if (Count == 0)
        return std::nullopt;
    return Sum / static_cast<double>(Count);
}

std::optional<double> TPulseStatistics::Frequency() const {
    const auto mean = Period.Mean();
    if (!mean || *mean <= 0)
        return std::nullopt;
    return 1000.0 / *mean;
}

std::optional<double> TPulseStatistics::Duty() const {
    if (Period.Count == 0 || Period.Sum <= 0)
        return std::nullopt;
    return HighInPeriods / Period.Sum;
}

void TPulseAccumulator::Edge(bool high, double t) {
    if (high) {
        ++result_.RisingEdges;
        if (fall_)
            result_.Low.Add(t - *fall_);
        if (rise_) {
            result_.Period.Add(t - *rise_);
            result_.HighInPeriods += riseHigh_;
        }
        rise_ = t;
        riseHigh_ = 0;
    } else {
        ++result_.FallingEdges;
        if (rise_) {
            riseHigh_ = t - *rise_;
            result_.High.Add(riseHigh_);
        }
        fall_ = t;
    }
}

void TPulseAccumulator::Gap() {
    rise_.reset();
    fall_.reset();
    riseHigh_ = 0;
}

TPulseStatistics PulseStatistics(std::span<const double> times, std::span<const double> levels,
                                 std::size_t first, std::size_t last) {
    last = std::min({last, times.size(), levels.size()});
    if (first >= last)
        return {};
    TPulseAccumulator pulses;
    // The range's first point is an edge when the point before it has the other level: a marker
    // put on an edge starts the range with that edge.
    const std::size_t from = std::max<std::size_t>(first, 1);
    bool high = levels[from - 1] > 0.5;
    for (std::size_t i = from; i < last; ++i) {
        const bool now = levels[i] > 0.5;
        if (now != high)
            pulses.Edge(now, times[i]);
        high = now;
    }
    return pulses.Statistics();
}

} // namespace measure
