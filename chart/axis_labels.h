#pragma once
// Where an axis puts its labels: the step that fits the axis, the default placement and the
// owner's hook. No painting.

#include "chart/axis.h"

#include <array>
#include <functional>

namespace chart {

// Pixel positions where labels were placed on one axis, in placement order; ticks and grid lines go
// there afterwards. Holds 2000 entries: later labels are drawn but get no tick or grid line.
class TLabelPositions {
public:
    static constexpr int Capacity = 2000;
    void Clear() { count_ = 0; }
    void Add(int pixel) {
        if (count_ < Capacity)
            items_[static_cast<size_t>(count_++)] = pixel;
    }
    int Count() const { return count_; }
    int operator[](int i) const { return items_[static_cast<size_t>(i)]; }

private:
    std::array<int, Capacity> items_{};
    int count_ = 0;
};

// The 1-2-5 sequence over the decades: the next larger "nice" label step.
double NextNiceStep(double x);

// The label step: Increment (or 1, or 1e-12) enlarged until the labels of size labelSize plus
// their separation fit into axisLength pixels.
double ComputeLabelStep(double range, double increment, int axisLength, int labelSize,
                        int labelsSeparation);

using TPlaceLabel = std::function<void(double value)>;

// Labels from the top of the range down at multiples of step, until the range is left or a step
// no longer changes the value.
void DefaultLabelPass(double effMin, double effMax, double step, bool roundFirstLabel,
                      const TPlaceLabel& place);

// The owner's hook chooses the positions; a hook that leaves Stop set at its first call hands the
// axis back to the default pass.
void CustomLabelPass(TChartAxis* axis, const TAxisOnGetNextLabel& hook, double effMin,
                     double effMax, double step, bool roundFirstLabel, const TPlaceLabel& place);

} // namespace chart
