#pragma once
// The device samples at periods on a grid: it divides its 11059200 Hz clock, and one sample takes
// 6 × n + 12 clock cycles for a divider n. These rules keep the sample period on that grid and
// derive the sweep length from the sample period and the sweep duration. All in long double;
// integers are rounded to nearest, ties to even.

#include <cstdint>

namespace acquisition {

inline constexpr long double DeviceClockHz = 11059200.0L;
inline constexpr std::int64_t MinDivider = 16;
inline constexpr std::int64_t MaxDivider = 65535;
// One step of the divider moves the period by 6 clock cycles, in ms.
inline constexpr long double DividerStepMs = 6 * 1000 / DeviceClockHz;
// The decimals the window's fields show: the sample period in ms, the sweep duration in s.
inline constexpr int PeriodDecimals = 7;
inline constexpr int DurationDecimals = 3;
// The longest sweep in samples: a duration of at most 500,000 sample periods.
inline constexpr std::int32_t MaxSweepLength = 500001;

// Sample period of divider n in ms: (6 × n + 12) × 1000 / 11059200.
long double DividerPeriod(std::int64_t n);

// Divider whose period lies nearest to periodMs. No bounds: short periods give n below 16,
// periods below about 0.0008 ms a negative n.
std::int64_t PeriodToDivider(long double periodMs);

// The grid period nearest to periodMs. Any typed period will do, however far beyond the grid's
// ends: the result then lies beyond the same end, for the field to clamp.
long double QuantizePeriod(long double periodMs);

// The sample period a typed period becomes once the window's field confirms it: on the grid,
// within the grid's ends, and rounded to the field's decimals. The recording uses this value.
long double ConfirmedPeriod(long double typedMs);

// The longest sweep duration in s for a sample period in ms.
long double DeflectTimeMaxFor(long double periodMs);

// N, the number of samples of one sweep: round(duration × 1000 / period) + 1. The duration counts
// between 0 and its maximum for the period, so N stays within 1 .. MaxSweepLength even while a
// typed duration lies outside its field's limits.
std::int32_t SweepLength(long double durationS, long double periodMs);

// The three spin edits and the time axis as the confirm rules see them. A value read is the value
// the field shows (rounded to its decimals; a text that does not parse reads as the lower limit).
// Writing a value clamps it into the field's limits and rounds it for display; writing a limit
// leaves the value alone.
class TTimingFields {
public:
    virtual ~TTimingFields() = default;

    virtual long double SamplePeriod() const = 0;
    virtual void SetSamplePeriod(long double ms) = 0;
    virtual long double DeflectTime() const = 0;
    virtual void SetDeflectTime(long double s) = 0;
    virtual long double DeflectTimeMax() const = 0;
    virtual void SetDeflectTimeMax(long double s) = 0;
    virtual void SetGridPeriodMin(long double ms) = 0;
    virtual void SetTimeAxisMaximum(long double ms) = 0;
};

// The sample period was confirmed (Enter or leaving the field): bring it onto the grid, let the
// duration's maximum follow it (bringing the duration into range), derive N, set the time axis's
// maximum and raise the grid period's lower limit. Returns N.
std::int32_t ConfirmSamplePeriod(TTimingFields& fields);

// The sweep duration was confirmed: derive N from the values shown and set the time axis's
// maximum. Returns N.
std::int32_t ConfirmDeflectTime(TTimingFields& fields);

// Sets the duration's maximum for the period shown. A lowered maximum would otherwise leave a
// duration far above it, and the next start a sweep far longer than the series can hold.
void FollowSamplePeriod(TTimingFields& fields);

} // namespace acquisition
