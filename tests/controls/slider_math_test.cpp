#include "controls/slider_math.h"

#include <gtest/gtest.h>

using namespace controls;

namespace {

struct StepCase {
    long long value, increment, up, down;
};

class SliderSteps : public testing::TestWithParam<StepCase> {};

TEST_P(SliderSteps, StepsFromTheNearestMultiple) {
    const StepCase& c = GetParam();
    EXPECT_EQ(SliderStepUp(c.value, c.increment), c.up) << c.value << " by " << c.increment;
    EXPECT_EQ(SliderStepDown(c.value, c.increment), c.down) << c.value << " by " << c.increment;
}

INSTANTIATE_TEST_SUITE_P(Cases, SliderSteps,
                         testing::Values(StepCase{0, 10, 10, -10}, StepCase{15, 10, 30, 10},
                                         StepCase{25, 10, 30, 10}, StepCase{26, 10, 40, 20},
                                         StepCase{14, 10, 20, 0}, StepCase{35, 10, 50, 30},
                                         StepCase{50, 1, 51, 49}, StepCase{-15, 10, -10, -30},
                                         StepCase{-25, 10, -10, -30}));

struct PositionCase {
    long long offset, length;
    int minValue, maxValue;
    bool smooth;
    int increment, expected;
};

class SliderPosition : public testing::TestWithParam<PositionCase> {};

TEST_P(SliderPosition, TurnsThumbOffsetsIntoValues) {
    const PositionCase& c = GetParam();
    EXPECT_EQ(SliderValueAt(c.offset, c.length, c.minValue, c.maxValue, c.smooth, c.increment),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SliderPosition,
    testing::Values(
        PositionCase{30, 100, 0, 100, true, 10, 30}, PositionCase{30, 200, 0, 100, true, 10, 15},
        PositionCase{1, 200, 0, 100, true, 10, 0}, // 0.5 to the even 0
        PositionCase{3, 200, 0, 100, true, 10, 2}, // 1.5 to the even 2
        PositionCase{34, 100, 0, 100, false, 10, 30}, PositionCase{36, 100, 0, 100, false, 10, 40},
        PositionCase{50, 100, -50, 50, true, 1, 0}, PositionCase{150, 100, 0, 100, true, 1, 100},
        PositionCase{-5, 100, 0, 100, true, 1, 0}, PositionCase{10, 0, 5, 100, true, 1, 5}));

} // namespace
