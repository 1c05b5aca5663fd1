#include "acquisition/timing.h"

#include "numbers/spin_text.h"

#include <algorithm>
#include <cmath>

namespace acquisition {

namespace {
// One sample takes 6 × n + 12 clock cycles.
constexpr std::int64_t CyclesPerDividerStep = 6;
constexpr std::int64_t CyclesFixed = 12;

// The divider of a period before rounding.
long double ExactDivider(long double periodMs) {
    const long double cycles = periodMs / 1000.0L * DeviceClockHz;
    return (cycles - CyclesFixed) / CyclesPerDividerStep;
}

// The period of a whole divider. In long double, not in 64-bit integers: a typed period may be
// any size, and (6 × n + 12) × 1000 would overflow from about 8.3 × 10^11 ms on, turning a huge
// period into a tiny one. Below 2^64 every step is exact, as the integer product would be.
long double WholeDividerPeriod(long double n) {
    return (CyclesPerDividerStep * n + CyclesFixed) * 1000.0L / DeviceClockHz;
}

} // namespace

long double DividerPeriod(std::int64_t n) {
    return WholeDividerPeriod(static_cast<long double>(n));
}

std::int64_t PeriodToDivider(long double periodMs) {
    return std::llrint(ExactDivider(periodMs));
}

long double QuantizePeriod(long double periodMs) {
    return WholeDividerPeriod(std::nearbyint(ExactDivider(periodMs)));
}

long double ConfirmedPeriod(long double typedMs) {
    const numbers::TSpinFormat format{numbers::vtFloat, PeriodDecimals};
    const long double minimum = DividerPeriod(MinDivider);
    const long double shown =
        numbers::ClampSpinValue(QuantizePeriod(typedMs), minimum, DividerPeriod(MaxDivider));
    return numbers::ParseSpinText(numbers::FormatSpinValue(shown, format), format, minimum);
}

long double DeflectTimeMaxFor(long double periodMs) {
    return periodMs * 500000.0L / 1000.0L;
}

std::int32_t SweepLength(long double durationS, long double periodMs) {
    const long double duration = std::min(std::max(durationS, 0.0L), DeflectTimeMaxFor(periodMs));
    return static_cast<std::int32_t>(std::llrint(duration * 1000.0L / periodMs) + 1);
}

void FollowSamplePeriod(TTimingFields& fields) {
    fields.SetDeflectTimeMax(DeflectTimeMaxFor(fields.SamplePeriod()));
    if (fields.DeflectTime() > fields.DeflectTimeMax()) {
        fields.SetDeflectTime(fields.DeflectTimeMax());
    }
}

std::int32_t ConfirmSamplePeriod(TTimingFields& fields) {
    fields.SetSamplePeriod(QuantizePeriod(fields.SamplePeriod()));
    FollowSamplePeriod(fields);
    const std::int32_t n = ConfirmDeflectTime(fields);
    fields.SetGridPeriodMin(fields.SamplePeriod());
    return n;
}

std::int32_t ConfirmDeflectTime(TTimingFields& fields) {
    const std::int32_t n = SweepLength(fields.DeflectTime(), fields.SamplePeriod());
    fields.SetTimeAxisMaximum(n * fields.SamplePeriod());
    return n;
}

} // namespace acquisition
