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

TPulseStatistics PulseStatistics(std::span<const double> times, std::span<const double> levels,
                                 std::size_t first, std::size_t last) {
    TPulseStatistics result;
    last = std::min({last, times.size(), levels.size()});
    if (first >= last)
        return result;
    // Times of the last edges seen; a pulse that starts before the range is unknown.
    std::optional<double> rise;
    std::optional<double> fall;
    // High width of the pulse that began at `rise`, once its falling edge has come.
    double riseHigh = 0;
    // The range's first point is an edge when the point before it has the other level: a marker
    // put on an edge starts the range with that edge.
    const std::size_t from = std::max<std::size_t>(first, 1);
    bool high = levels[from - 1] > 0.5;
    for (std::size_t i = from; i < last; ++i) {
        const bool now = levels[i] > 0.5;
        if (now == high)
            continue;
        high = now;
        const double t = times[i];
        if (now) {
            ++result.RisingEdges;
            if (fall)
                result.Low.Add(t - *fall);
            if (rise) {
                result.Period.Add(t - *rise);
                result.HighInPeriods += riseHigh;
            }
            rise = t;
            riseHigh = 0;
        } else {
            ++result.FallingEdges;
            if (rise) {
                riseHigh = t - *rise;
                result.High.Add(riseHigh);
            }
            fall = t;
        }
    }
    return result;
}

} // namespace measure
