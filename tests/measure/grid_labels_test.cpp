#include "chart/axis_labels.h"
#include "measure/grid_labels.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <vector>

using measure::NextLevelLabel;
using measure::NextTimeLabel;
using testing::DoubleEq;
using testing::ElementsAre;
using testing::Pointwise;

namespace {

// The time labels the chart places on an axis from `minimum` to `maximum`, asking the rule the way
// the window's label handler does: counting answers from 0 within one drawing.
std::vector<double> TimeLabels(long double period, int offsetPercent, double minimum,
                               double maximum) {
    std::vector<double> labels;
    std::int32_t answers = 0;
    const chart::TAxisOnGetNextLabel hook = [&](chart::TChartAxis*, int, double& value,
                                                bool& stop) {
        value = measure::NextTimeLabel(period, offsetPercent, value, answers++);
        stop = false;
    };
    chart::CustomLabelPass(nullptr, hook, minimum, maximum, 1.0, true,
                           [&](double v) { labels.push_back(v); });
    return labels;
}

struct TGridCase {
    const char* name;
    long double period;
    int offsetPercent;
    double minimum, maximum;
    std::vector<double> labels;
};

void PrintTo(const TGridCase& c, std::ostream* os) {
    *os << c.name;
}

class TimeGridSequence : public testing::TestWithParam<TGridCase> {};

TEST_P(TimeGridSequence, LabelsStandWhereTheGridPutsThem) {
    const TGridCase& c = GetParam();
    EXPECT_THAT(TimeLabels(c.period, c.offsetPercent, c.minimum, c.maximum),
                Pointwise(DoubleEq(), c.labels));
}

INSTANTIATE_TEST_SUITE_P(
    , TimeGridSequence,
    testing::Values(
        TGridCase{"EveryMillisecond", 1, 0, 0, 10, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        TGridCase{"HalfPeriodOffset",
                  1,
                  50,
                  0,
                  10,
                  {0, 0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8.5, 9.5}},
        TGridCase{"PeriodAndOffsetTogether", 2.5L, 20, 0, 10, {0, 0.5, 3, 5.5, 8}},
        TGridCase{"FullOffsetIsNoOffset", 1, 100, 0, 10, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        TGridCase{"ZoomedOffTheGrid", 1, 0, 2.3, 7.9, {2.3, 3, 4, 5, 6, 7}},
        // A grid line within 1/10000 above a positive minimum would crowd its label.
        TGridCase{"GridLineJustAboveAPositiveMinimum", 1, 0, 2.9999, 6, {2.9999, 4, 5, 6}},
        // A negative minimum on the grid: the first grid label repeats the minimum.
        TGridCase{"NegativeMinimumOnTheGrid", 1, 0, -2, 2, {-2, -2, -1, 0, 1, 2}},
        // The second answer, -2, lies below the axis and ends the labels.
        TGridCase{"NegativeMinimumJustAboveTheGrid", 1, 0, -1.99995, 2, {-1.99995}}),
    [](const testing::TestParamInfo<TGridCase>& row) { return row.param.name; });

TEST(TimeGridLabels, AreWorkedInLongDoubleAndStoredAsDouble) {
    // The quotient is 299.99999999999999 from the double minimum 0.3; in double arithmetic it
    // rounds to 300 and the label would skip a grid line (0.30103).
    EXPECT_EQ(measure::NextTimeLabel(0.001L, 3, 0.3, 1), 0.30003);
    // A typed period is a long double: three periods of 0.1 are 0.3, not 0.30000000000000004.
    EXPECT_EQ(measure::NextTimeLabel(0.1L, 0, 0.25, 1), 0.3);
    EXPECT_EQ(measure::NextTimeLabel(0.2L, 0, 0.1, 2), 0.3);
}

TEST(TimeGridLabels, GridIndexFloorsTowardsMinusInfinity) {
    EXPECT_EQ(measure::NextTimeLabel(1, 0, -0.5, 1), 0.0);
    EXPECT_EQ(measure::NextTimeLabel(1, 0, -1.5, 1), -1.0);
    EXPECT_EQ(measure::NextTimeLabel(1, 0, 0.5, 1), 1.0);
}

TEST(TimeGridLabels, GridIndexBeyondThirtyTwoBitsSaturates) {
    // The grid line of the largest index lies below such a minimum and ends the labels.
    EXPECT_EQ(measure::NextTimeLabel(0.001L, 0, 1e10, 1), 2147483.648);
    EXPECT_EQ(measure::NextTimeLabel(0.001L, 0, -1e10, 1), -2147483.647);
    // A zero period has no grid index at all; every grid time is then 0.
    EXPECT_EQ(measure::NextTimeLabel(0, 0, 0, 1), 0.0);
}

TEST(LevelLabels, StandAtWholeLevelsAfterTheMinimum) {
    EXPECT_EQ(measure::NextLevelLabel(-1), 0.0);
    EXPECT_EQ(measure::NextLevelLabel(-1.5), -1.0);
    EXPECT_EQ(measure::NextLevelLabel(0.25), 1.0);
    // The chart's first question already gets the level above -1, so -1 itself has no label.
    std::vector<double> labels;
    const chart::TAxisOnGetNextLabel hook = [](chart::TChartAxis*, int, double& value, bool& stop) {
        value = measure::NextLevelLabel(value);
        stop = false;
    };
    chart::CustomLabelPass(nullptr, hook, -1, 2, 1.0, true, [&](double v) { labels.push_back(v); });
    EXPECT_THAT(labels, ElementsAre(0.0, 1.0, 2.0));
}

} // namespace
