#include "chart/axis_labels.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

using chart::ComputeLabelStep;
using chart::CustomLabelPass;
using chart::DefaultLabelPass;
using chart::NextNiceStep;
using chart::TChartAxis;

namespace {

struct Pass {
    TChartAxis axis{TChartAxis::Bottom};
    std::vector<double> labels;
    std::vector<int> indices;
    chart::TLabelPositions positions;

    void Run(double min, double max, double step, const chart::TAxisOnGetNextLabel& hook) {
        CustomLabelPass(
            &axis,
            [&](TChartAxis* sender, int index, double& value, bool& stop) {
                EXPECT_EQ(sender, &axis);
                indices.push_back(index);
                hook(sender, index, value, stop);
            },
            min, max, step, true,
            [&](double v) {
                labels.push_back(v);
                positions.Add(static_cast<int>(labels.size()));
            });
    }
};

TEST(CustomLabelPass, HookThatNeverStopsIsCutAfter2001CallsWith2000Positions) {
    Pass pass;
    pass.Run(0, 10, 1, [](TChartAxis*, int, double&, bool& stop) { stop = false; });
    EXPECT_EQ(pass.indices.size(), 2001u);
    EXPECT_EQ(pass.indices.back(), 2000);
    EXPECT_EQ(pass.labels.size(), 2001u);
    EXPECT_EQ(pass.labels.front(), 0) << "the first call receives the minimum";
    EXPECT_EQ(pass.positions.Count(), 2000);
}

TEST(CustomLabelPass, HookThatDoesNothingGivesOneCallThenTheDefaultLabels) {
    Pass pass;
    pass.Run(0, 1, 1, [](TChartAxis*, int, double&, bool&) {});
    EXPECT_EQ(pass.indices, std::vector<int>{0});
    EXPECT_EQ(pass.labels, (std::vector<double>{1, 0}));
}

TEST(CustomLabelPass, StopIsTrueBeforeTheFirstCallOnly) {
    Pass pass;
    std::vector<bool> seen;
    pass.Run(0, 10, 1, [&](TChartAxis*, int index, double& value, bool& stop) {
        seen.push_back(stop);
        stop = index == 2;
        value += 1;
    });
    EXPECT_EQ(seen, (std::vector<bool>{true, false, false}));
    EXPECT_EQ(pass.labels, (std::vector<double>{1, 2})) << "the stopping call places nothing";
}

TEST(CustomLabelPass, ValueWithinTheToleranceAboveTheMaximumGetsALabel) {
    for (double excess : {1e-8, 1e-6}) {
        Pass pass;
        pass.Run(0, 3, 1, [&](TChartAxis*, int index, double& value, bool& stop) {
            stop = false;
            value = index < 3 ? index : index == 3 ? 3 + excess : 100;
        });
        if (excess < 1e-7) {
            EXPECT_EQ(pass.labels, (std::vector<double>{0, 1, 2, 3 + excess}));
            EXPECT_EQ(pass.indices.size(), 5u) << "index 4 leaves the range and ends the pass";
        } else {
            EXPECT_EQ(pass.labels, (std::vector<double>{0, 1, 2}));
            EXPECT_EQ(pass.indices.size(), 4u);
        }
    }
}

TEST(CustomLabelPass, ValueBelowTheMinimumEndsThePass) {
    Pass pass;
    pass.Run(0, 10, 1, [](TChartAxis*, int index, double& value, bool& stop) {
        stop = false;
        value = index == 0 ? 0 : -0.5;
    });
    EXPECT_EQ(pass.labels, std::vector<double>{0});
    EXPECT_EQ(pass.indices.size(), 2u);
}

TEST(CustomLabelPass, FloorPlusOneOnMinusOneToTwoGivesZeroOneTwo) {
    Pass pass;
    pass.Run(-1, 2, 1, [](TChartAxis*, int, double& value, bool& stop) {
        stop = false;
        value = std::floor(value) + 1;
    });
    EXPECT_EQ(pass.labels, (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(pass.indices, (std::vector<int>{0, 1, 2, 3}));
}

TEST(DefaultLabelPass, ZeroToOneWithIncrementOneGoesFromTheTopDown) {
    std::vector<double> labels;
    DefaultLabelPass(0, 1, 1, true, [&](double v) { labels.push_back(v); });
    EXPECT_EQ(labels, (std::vector<double>{1, 0}));
}

TEST(DefaultLabelPass, FirstLabelRoundedToAMultipleOfTheStep) {
    std::vector<double> labels;
    DefaultLabelPass(0.3, 2.7, 1, true, [&](double v) { labels.push_back(v); });
    EXPECT_EQ(labels, (std::vector<double>{2, 1}));
    labels.clear();
    DefaultLabelPass(0.3, 2.7, 1, false, [&](double v) { labels.push_back(v); });
    ASSERT_EQ(labels.size(), 3u);
    EXPECT_DOUBLE_EQ(labels[2], 0.7);
}

TEST(DefaultLabelPass, EqualEndsGiveOneLabel) {
    std::vector<double> labels;
    DefaultLabelPass(5, 5, 1, true, [&](double v) { labels.push_back(v); });
    EXPECT_EQ(labels, std::vector<double>{5});
}

TEST(DefaultLabelPass, TenThousandOrMoreLabelsGiveNone) {
    int count = 0;
    DefaultLabelPass(0, 10000, 1, true, [&](double) { ++count; });
    EXPECT_EQ(count, 0);
    DefaultLabelPass(0, 9999, 1, true, [&](double) { ++count; });
    EXPECT_EQ(count, 10000);
}

struct TinyStepCase {
    const char* name;
    double min, max;
    std::vector<double> labels;
};

void PrintTo(const TinyStepCase& c, std::ostream* os) {
    *os << c.name;
}

class DefaultLabelPassTinyStep : public testing::TestWithParam<TinyStepCase> {};

// The step 1e-12 is below half the spacing of doubles at these values, so subtracting it changes
// nothing; the pass must still end.
TEST_P(DefaultLabelPassTinyStep, EndsWhereTheStepIsLostInRounding) {
    const TinyStepCase& c = GetParam();
    std::vector<double> labels;
    const auto place = [&](double v) {
        labels.push_back(v);
        if (labels.size() > 10001)
            throw std::runtime_error("the label pass does not end");
    };
    ASSERT_NO_THROW(DefaultLabelPass(c.min, c.max, 1e-12, true, place));
    EXPECT_EQ(labels, c.labels);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DefaultLabelPassTinyStep,
    testing::Values(TinyStepCase{"ZeroRangeAt20000", 20000, 20000, {20000}},
                    TinyStepCase{"ZeroRangeAt2Pow20", 1048576, 1048576, {1048576}},
                    TinyStepCase{"ZeroRangeAt1e9", 1e9, 1e9, {1e9}}),
    [](const testing::TestParamInfo<TinyStepCase>& p) { return std::string(p.param.name); });

// The first label rounds to just above the maximum and the step cannot lower it. No label is
// placed on the way, so a pass that does not end is cut by the alarm and fails the test.
TEST(DefaultLabelPassDeathTest, FirstLabelTheStepCannotLowerEndsThePass) {
    EXPECT_EXIT(
        {
            alarm(10);
            int count = 0;
            DefaultLabelPass(20000, 20000.000000000346, 1e-12, true, [&](double) { ++count; });
            std::exit(count);
        },
        testing::ExitedWithCode(0), "");
}

TEST(LabelPositions, KeepsTheFirst2000) {
    chart::TLabelPositions positions;
    for (int i = 0; i < 2100; ++i)
        positions.Add(i);
    EXPECT_EQ(positions.Count(), 2000);
    EXPECT_EQ(positions[1999], 1999);
}

struct NiceCase {
    double in, out;
};
class NiceStep : public testing::TestWithParam<NiceCase> {};

TEST_P(NiceStep, FollowsOneTwoFiveOverDecades) {
    EXPECT_DOUBLE_EQ(NextNiceStep(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Cases, NiceStep,
                         testing::Values(NiceCase{1, 2}, NiceCase{1.5, 2}, NiceCase{2, 5},
                                         NiceCase{4.9, 5}, NiceCase{5, 10}, NiceCase{10, 20},
                                         NiceCase{25, 50}, NiceCase{0.3, 0.5}, NiceCase{0.1, 0.2},
                                         NiceCase{700, 1000}));

TEST(ComputeLabelStep, IncrementIsEnlargedUntilTheLabelsFit) {
    // Labels 10 px plus 1 px separation on 100 px: at most 9 labels.
    EXPECT_EQ(ComputeLabelStep(100, 1, 100, 10, 10), 20);
    EXPECT_EQ(ComputeLabelStep(100, 25, 100, 10, 10), 25) << "a fitting increment is kept";
    EXPECT_EQ(ComputeLabelStep(100, 0, 100, 10, 10), 20) << "no increment starts at 1";
}

TEST(ComputeLabelStep, NoRoomOrTinyRangeGivesTheSmallestStep) {
    EXPECT_EQ(ComputeLabelStep(100, 1, 3, 10, 10), 1e-12);
    EXPECT_EQ(ComputeLabelStep(0, 0, 100, 10, 10), 1e-12);
}

TEST(ComputeLabelStep, WithoutSeparationTheIncrementIsTakenAsIs) {
    EXPECT_EQ(ComputeLabelStep(1000, 1, 100, 10, 0), 1);
}

TEST(ComputeLabelStep, InfiniteRangeEnds) {
    EXPECT_TRUE(std::isinf(ComputeLabelStep(INFINITY, 1, 100, 10, 10)));
}

} // namespace
