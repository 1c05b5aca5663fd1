#include "measure/trace_timing.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <vector>

namespace {

struct TStepCase {
    const char* Name;
    std::vector<double> Times;
    double Step;
};

// Named by its case in a failure.
void PrintTo(const TStepCase& c, std::ostream* os) {
    *os << c.Name;
}

class TraceStepTest : public testing::TestWithParam<TStepCase> {};

// The field shows 0.1 ms throughout.
TEST_P(TraceStepTest, IsTheTracesOwnStep) {
    EXPECT_DOUBLE_EQ(measure::TraceStep(GetParam().Times, 0.1), GetParam().Step);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TraceStepTest,
    testing::Values(TStepCase{"NoPoints", {}, 0.1}, TStepCase{"OnePoint", {7}, 0.1},
                    // Finer than the device can sample, as another tool may write.
                    TStepCase{"FinerThanTheField", {0, 0.005, 0.01, 0.015}, 0.005},
                    // From the first point on, not from 0.
                    TStepCase{"StartingLate", {5, 6, 7}, 1}, TStepCase{"Uneven", {-1, 0, 3}, 2}),
    [](const testing::TestParamInfo<TStepCase>& param) { return param.param.Name; });

// A step that 10,000 additions of 5 µs leave a little off: taken over the whole span, not from
// one pair of points.
TEST(TraceStep, IsTakenOverTheWholeSpan) {
    std::vector<double> times;
    double t = 0;
    for (int i = 0; i < 10000; ++i, t += 0.005)
        times.push_back(t);
    EXPECT_NEAR(measure::TraceStep(times, 0.1), 0.005, 1e-15);
}

struct TLoadedCase {
    const char* Name;
    std::vector<double> Times;
    double AxisMinimum, AxisMaximum;
    std::optional<double> PeriodMs;
    double DeflectTimeS;
};

// Named by its case in a failure.
void PrintTo(const TLoadedCase& c, std::ostream* os) {
    *os << c.Name;
}

class LoadedTimingTest : public testing::TestWithParam<TLoadedCase> {};

TEST_P(LoadedTimingTest, SetsTheAxisAndTheFields) {
    const TLoadedCase& c = GetParam();
    const measure::TLoadedTiming timing = measure::LoadedTiming(c.Times);
    EXPECT_EQ(timing.AxisMinimum, c.AxisMinimum);
    EXPECT_EQ(timing.AxisMaximum, c.AxisMaximum);
    ASSERT_EQ(timing.SamplePeriodMs.has_value(), c.PeriodMs.has_value());
    if (c.PeriodMs) {
        EXPECT_DOUBLE_EQ(static_cast<double>(*timing.SamplePeriodMs), *c.PeriodMs);
    }
    EXPECT_DOUBLE_EQ(static_cast<double>(timing.DeflectTimeS), c.DeflectTimeS);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadedTimingTest,
    testing::Values(
        // The axis from 0, where a sweep starts: the period is 10 ms over 5 steps.
        TLoadedCase{"StartingLate", {5, 6.25, 7.5, 7.5, 8.75, 10}, 0, 10, 2.0, 0.01},
        TLoadedCase{"FromZero", {0, 0.5, 1, 1.5}, 0, 1.5, 0.5, 0.0015},
        // Times before 0 widen the axis the other way.
        TLoadedCase{"BeforeZero", {-4, -2}, -4, 0, 4.0, 0.004},
        // One point has no period of its own: the field keeps the one it shows.
        TLoadedCase{"OnePoint", {3}, 0, 3, std::nullopt, 0.003},
        // No points: the axis 0 .. 0, and a period of 0 for the field to clamp.
        TLoadedCase{"NoPoints", {}, 0, 0, 0.0, 0}),
    [](const testing::TestParamInfo<TLoadedCase>& param) { return param.param.Name; });

TEST(LoadedDeflectTimeMax, IsThePointLimitsWorthOfPeriods) {
    EXPECT_DOUBLE_EQ(static_cast<double>(measure::LoadedDeflectTimeMax(2, 500000)), 1000);
    EXPECT_DOUBLE_EQ(static_cast<double>(measure::LoadedDeflectTimeMax(0.0097656L, 500000)),
                     4.8828);
}

} // namespace
