#include "chart/axis_labels.h"

#include <algorithm>
#include <cmath>

namespace chart {

double NextNiceStep(double x) {
    if (x >= 10)
        return 10 * NextNiceStep(x / 10);
    if (x < 1)
        return NextNiceStep(10 * x) / 10;
    if (x < 2)
        return 2;
    if (x < 5)
        return 5;
    return 10;
}

double ComputeLabelStep(double range, double increment, int axisLength, int labelSize,
                        int labelsSeparation) {
    int maxCount = 1;
    if (labelSize > 0) {
        if (labelsSeparation > 0) {
            const double gap = labelSize + std::nearbyint(labelSize * labelsSeparation / 100.0);
            maxCount = static_cast<int>(std::nearbyint(axisLength / gap));
        } else {
            maxCount = axisLength / labelSize;
        }
    }
    if (maxCount < 1)
        return 1e-12;
    double step = increment > 0 ? increment : (std::fabs(range) >= 1 ? 1.0 : 1e-12);
    if (labelsSeparation > 0) {
        // An infinite range never fits; the step then grows until it is infinite itself.
        while (!std::isinf(step)) {
            const double quotient = range / step;
            if (std::fabs(quotient) < 2147483647.0) {
                if (std::nearbyint(quotient) <= maxCount)
                    break;
            }
            step = NextNiceStep(step);
        }
    }
    return std::max(step, 1e-12);
}

void DefaultLabelPass(double effMin, double effMax, double step, bool roundFirstLabel,
                      const TPlaceLabel& place) {
    if (std::fabs((effMax - effMin) / step) >= 10000)
        return;
    double v = effMax;
    if (effMin != effMax && roundFirstLabel)
        v = step * std::trunc(effMax / step);
    // A step below half the spacing of doubles near v leaves v unchanged; the labels then end
    // there instead of repeating forever.
    const auto down = [step](double& value) {
        const double next = value - step;
        if (next == value)
            return false;
        value = next;
        return true;
    };
    while (v > effMax) {
        if (!down(v))
            return;
    }
    const double last = (effMin - 1e-12) / 1.000000000001;
    while (v >= last) {
        place(v);
        if (!down(v))
            return;
    }
}

void CustomLabelPass(TChartAxis* axis, const TAxisOnGetNextLabel& hook, double effMin,
                     double effMax, double step, bool roundFirstLabel, const TPlaceLabel& place) {
    double value = effMin;
    bool stop = true;
    for (int index = 0;; ++index) {
        hook(axis, index, value, stop);
        if (stop) {
            if (index == 0)
                DefaultLabelPass(effMin, effMax, step, roundFirstLabel, place);
            return;
        }
        const bool inside = effMin - 1e-7 <= value && value <= effMax + 1e-7;
        if (inside)
            place(value);
        if (!inside || index + 1 > 2000)
            return;
    }
}

} // namespace chart
