#pragma once
// Where the time grid and the level axis put their labels (and so their grid lines). The chart
// asks for one label value after the other and hands each answer back as the next question's
// value; the time grid counts its answers itself, since the first two follow rules of their own.

#include <cstdint>

namespace measure {

// The time label that follows `value` as answer number `n` (from 0) of one drawing of the axes,
// for a grid of `period` ms shifted by `offsetPercent` % of a period:
// - answer 0 keeps the axis minimum, so a label always stands there, on the grid or not;
// - answer 1 is the first grid time offset + m × period beyond value × 1.0001 (for a negative
//   minimum that can be the minimum itself or lie below it, which ends the chart's labels);
// - later answers step on by one period.
// Worked in long double throughout and rounded to double once at the end.
double NextTimeLabel(long double period, int offsetPercent, double value, std::int32_t n);

// Level labels stand at whole levels: the next integer above `value`.
double NextLevelLabel(double value);

} // namespace measure
