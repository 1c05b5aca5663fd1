#pragma once

// Value arithmetic of the slider, kept apart from the widget so it can be checked without one.

namespace controls {

// value / divisor rounded to the nearest integer, halves to the even neighbour; divisor > 0.
long long RoundHalfEvenDiv(long long value, long long divisor);

// One step of the keys and track presses, before limiting to the range: up gives
// increment * (round(value / increment) + 1), down increment * round(value / increment) -
// increment.
long long SliderStepUp(long long value, long long increment);
long long SliderStepDown(long long value, long long increment);

// The value at offset pixels along a ruler of the given length, by proportion over the range:
// to a step of 1 when smooth, else to a multiple of increment; limited to the range.
int SliderValueAt(long long offset, long long length, int minValue, int maxValue, bool smooth,
                  int increment);

} // namespace controls
