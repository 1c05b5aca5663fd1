#include "controls/slider_math.h"

#include <algorithm>

namespace controls {

long long RoundHalfEvenDiv(long long value, long long divisor) {
    long long quotient = value / divisor;
    long long remainder = value % divisor;
    if (remainder < 0) { // floor division, so that 0 <= remainder < divisor
        --quotient;
        remainder += divisor;
    }
    if (2 * remainder > divisor || (2 * remainder == divisor && quotient % 2 != 0))
        ++quotient;
    return quotient;
}

long long SliderStepUp(long long value, long long increment) {
    return increment * (RoundHalfEvenDiv(value, increment) + 1);
}

long long SliderStepDown(long long value, long long increment) {
    return increment * RoundHalfEvenDiv(value, increment) - increment;
}

int SliderValueAt(long long offset, long long length, int minValue, int maxValue, bool smooth,
                  int increment) {
    if (length <= 0 || maxValue <= minValue)
        return minValue;
    const long long range = static_cast<long long>(maxValue) - minValue;
    // The exact proportional value is minValue + offset * range / length; round it once.
    const long long numerator = static_cast<long long>(minValue) * length + offset * range;
    long long value = smooth || increment < 1
                          ? RoundHalfEvenDiv(numerator, length)
                          : increment * RoundHalfEvenDiv(numerator, length * increment);
    return static_cast<int>(std::clamp<long long>(value, minValue, maxValue));
}

} // namespace controls
