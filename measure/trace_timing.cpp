#include "measure/trace_timing.h"

#include <algorithm>

namespace measure {

double TraceStep(std::span<const double> times, double fieldPeriodMs) {
    if (times.size() < 2)
        return fieldPeriodMs;
    return static_cast<double>((static_cast<long double>(times.back()) - times.front()) /
                               static_cast<long double>(times.size() - 1));
}

TLoadedTiming LoadedTiming(std::span<const double> times) {
    TLoadedTiming timing;
    timing.AxisMinimum = times.empty() ? 0.0 : std::min(0.0, times.front());
    timing.AxisMaximum = times.empty() ? 0.0 : std::max(0.0, times.back());
    const long double span = static_cast<long double>(timing.AxisMaximum) - timing.AxisMinimum;
    if (times.size() != 1)
        timing.SamplePeriodMs = span / (static_cast<long double>(times.size()) - 1);
    timing.DeflectTimeS = span / 1000;
    return timing;
}

long double LoadedDeflectTimeMax(long double periodMs, std::size_t pointLimit) {
    return periodMs * pointLimit / 1000;
}

} // namespace measure
