#pragma once
// Setting a chart axis to a new range whatever range it had before.

#include "chart/axis.h"

namespace recorder {

// Sets the axis to minimum .. maximum (minimum <= maximum) from whatever range it has, in the
// order it accepts: it refuses a minimum above its maximum and a maximum below its minimum. Unlike
// SetRange it keeps a span of zero.
inline void SetAxisBounds(chart::TChartAxis& axis, double minimum, double maximum) {
    if (axis.Maximum() < minimum) {
        axis.SetMaximum(maximum);
        axis.SetMinimum(minimum);
    } else {
        axis.SetMinimum(minimum);
        axis.SetMaximum(maximum);
    }
}

} // namespace recorder
