#include "measure/grid_labels.h"

#include <cmath>
#include <limits>

namespace measure {

namespace {

// Grid indices are 32-bit. A quotient beyond that range saturates (its grid time then lies far
// outside the axis and ends the labels); a zero period gives no number at all and takes the
// lowest index, which a zero period multiplies away again.
std::int32_t FloorToInt32(long double x) {
    constexpr auto lowest = std::numeric_limits<std::int32_t>::min();
    constexpr auto highest = std::numeric_limits<std::int32_t>::max();
    const long double f = std::floor(x);
    if (!(f >= lowest))
        return lowest;
    if (f > highest)
        return highest;
    return static_cast<std::int32_t>(f);
}

} // namespace

double NextTimeLabel(long double period, int offsetPercent, double value, std::int32_t n) {
    const long double v = value;
    if (n <= 0)
        return value;
    if (n >= 2)
        return static_cast<double>(v + period);
    const long double offset = period * offsetPercent / 100;
    // The 1/10000 keeps a grid line that coincides with a positive minimum, give or take the
    // rounding of the minimum, from getting a second label right beside the first.
    const std::int32_t k = FloorToInt32((v + v / 10000 - offset) / period);
    return static_cast<double>(period * (static_cast<long double>(k) + 1) + offset);
}

double NextLevelLabel(double value) {
    return std::floor(value) + 1;
}

} // namespace measure
