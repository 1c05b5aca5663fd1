#include "acquisition/timing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

using acquisition::DividerPeriod;
using acquisition::PeriodToDivider;
using acquisition::QuantizePeriod;
using acquisition::SweepLength;

// A value as a field with this many decimals shows it and reads it back.
long double Shown(long double value, int decimals) {
    const long double scale = std::pow(10.0L, decimals);
    return std::nearbyint(value * scale) / scale;
}

// Equality up to the last decimal a field shows.
void ExpectShown(long double expected, long double actual, int decimals) {
    EXPECT_EQ(Shown(expected, decimals), Shown(actual, decimals))
        << "expected " << static_cast<double>(expected) << ", got " << static_cast<double>(actual);
}

struct DividerCase {
    long double periodMs;
    std::int64_t divider;
};

class PeriodToDividerTest : public testing::TestWithParam<DividerCase> {};

TEST_P(PeriodToDividerTest, GivesTheNearestDivider) {
    EXPECT_EQ(GetParam().divider, acquisition::PeriodToDivider(GetParam().periodMs));
}

// 1000 × m / 16384 ms is exactly m × 675 clock cycles, so (cycles − 12) / 6 ends in exactly .5
// for odd m: these periods lie halfway between two dividers.
INSTANTIATE_TEST_SUITE_P(
    Periods, PeriodToDividerTest,
    testing::Values(DividerCase{1.0L, 1841}, DividerCase{0.5L, 920}, DividerCase{0.1L, 182},
                    DividerCase{0.001L, 0}, DividerCase{0.0005L, -1}, DividerCase{100.0L, 184318},
                    DividerCase{0.009765625L, 16}, DividerCase{35.55609809027778L, 65535},
                    DividerCase{1000.0L / 16384, 110}, DividerCase{3000.0L / 16384, 336}));

TEST(DividerPeriodTest, SpansTheSamplePeriodLimits) {
    EXPECT_EQ(0.009765625L, acquisition::DividerPeriod(acquisition::MinDivider));
    ExpectShown(35.55609809027778L, acquisition::DividerPeriod(acquisition::MaxDivider), 14);
    ExpectShown(0.000542534722L, acquisition::DividerPeriod(17) - acquisition::DividerPeriod(16),
                12);
}

struct QuantizeCase {
    long double typedMs;
    long double shownMs; // with 7 decimals
};

class QuantizePeriodTest : public testing::TestWithParam<QuantizeCase> {};

TEST_P(QuantizePeriodTest, BringsThePeriodOntoTheGrid) {
    const long double period = acquisition::QuantizePeriod(GetParam().typedMs);
    ExpectShown(GetParam().shownMs, period, 7);
    EXPECT_EQ(period, acquisition::DividerPeriod(acquisition::PeriodToDivider(GetParam().typedMs)));
}

INSTANTIATE_TEST_SUITE_P(Periods, QuantizePeriodTest,
                         testing::Values(QuantizeCase{1.0L, 0.9998915L},
                                         QuantizeCase{0.5L, 0.5002170L},
                                         QuantizeCase{0.1L, 0.0998264L},
                                         QuantizeCase{0.001L, 0.0010851L},
                                         QuantizeCase{0.009765625L, 0.0097656L}));

// A typed period of any size stays on its side of the grid, where the field's limit catches it.
TEST(QuantizePeriodTest, HugePeriodsLieBeyondTheNearerEnd) {
    for (long double typed : {8.4e11L, 1e12L, 1e15L, 99999999999999999.0L, 1e300L, 1e4931L}) {
        EXPECT_GE(acquisition::QuantizePeriod(typed),
                  acquisition::DividerPeriod(acquisition::MaxDivider))
            << static_cast<double>(typed);
        EXPECT_LE(acquisition::QuantizePeriod(-typed),
                  acquisition::DividerPeriod(acquisition::MinDivider))
            << static_cast<double>(typed);
    }
}

struct SweepCase {
    long double durationS;
    long double periodMs;
    std::int32_t length;
};

class SweepLengthTest : public testing::TestWithParam<SweepCase> {};

TEST_P(SweepLengthTest, CountsSamplesOfOneSweep) {
    EXPECT_EQ(GetParam().length,
              acquisition::SweepLength(GetParam().durationS, GetParam().periodMs));
}

INSTANTIATE_TEST_SUITE_P(
    Sweeps, SweepLengthTest,
    testing::Values(SweepCase{0.001L, 0.0097656L, 103}, SweepCase{0.001L, 0.9998915L, 2},
                    SweepCase{1.0L, 0.0097656L, 102401}, SweepCase{4.882L, 0.0097656L, 499919},
                    // A duration shown above its maximum (4.8828 s shows as 4.883 s), one typed
                    // far beyond it, and one below zero: N stays within 1 .. 500,001.
                    SweepCase{4.883L, 0.0097656L, acquisition::MaxSweepLength},
                    SweepCase{17778.049L, 0.0097656L, acquisition::MaxSweepLength},
                    SweepCase{1e30L, 35.5560981L, acquisition::MaxSweepLength},
                    SweepCase{-5.0L, 0.0097656L, 1}));

// The window's three spin edits as the rules see them: clamped on write when the limits differ,
// read back with the field's decimals.
class FakeField {
public:
    FakeField(long double value, long double min, long double max, int decimals)
        : Min(min), Max(max), Decimals(decimals) {
        Set(value);
    }
    void Set(long double value) {
        if (Min != Max) {
            value = std::min(std::max(value, Min), Max);
        }
        Value = Shown(value, Decimals);
    }
    // Typing keeps the text as typed, outside the limits too.
    void Type(long double value) { Value = Shown(value, Decimals); }

    long double Value;
    long double Min;
    long double Max;
    int Decimals;
};

class FakeFields : public acquisition::TTimingFields {
public:
    long double SamplePeriod() const override { return Period.Value; }
    void SetSamplePeriod(long double ms) override { Period.Set(ms); }
    long double DeflectTime() const override { return Duration.Value; }
    void SetDeflectTime(long double s) override { Duration.Set(s); }
    long double DeflectTimeMax() const override { return Duration.Max; }
    void SetDeflectTimeMax(long double s) override { Duration.Max = s; }
    void SetGridPeriodMin(long double ms) override { Grid.Min = ms; }
    void SetTimeAxisMaximum(long double ms) override { AxisMaximum = ms; }

    // As the window is built and created.
    FakeField Period{0.009765625L, acquisition::DividerPeriod(16),
                     acquisition::DividerPeriod(65535), 7};
    FakeField Duration{0.001L, 0.001L, 4.8828L, 3};
    FakeField Grid{1.0L, 0.01L, 1000.0L, 3};
    long double AxisMaximum = 1.0L;
};

struct ConfirmPeriodCase {
    long double typedMs;
    long double shownMs;
    long double durationMaxS;
    std::int32_t length; // with the first run's duration of 0.001 s
    long double axisMaximumMs;
};

class ConfirmSamplePeriodTest : public testing::TestWithParam<ConfirmPeriodCase> {};

TEST_P(ConfirmSamplePeriodTest, DoesEveryStep) {
    FakeFields fields;
    fields.Period.Type(GetParam().typedMs);
    const std::int32_t n = acquisition::ConfirmSamplePeriod(fields);
    ExpectShown(GetParam().shownMs, fields.Period.Value, 7);
    ExpectShown(GetParam().durationMaxS, fields.Duration.Max, 7);
    EXPECT_EQ(GetParam().length, n);
    ExpectShown(GetParam().axisMaximumMs, fields.AxisMaximum, 9);
    EXPECT_EQ(fields.Period.Value, fields.Grid.Min);
    EXPECT_EQ(0.001L, fields.Duration.Value);
}

INSTANTIATE_TEST_SUITE_P(
    TypedPeriods, ConfirmSamplePeriodTest,
    testing::Values(ConfirmPeriodCase{1.0L, 0.9998915L, 499.94575L, 2, 1.999783L},
                    ConfirmPeriodCase{0.5L, 0.5002170L, 250.1085L, 3, 1.500651L},
                    ConfirmPeriodCase{0.1L, 0.0998264L, 49.9132L, 11, 1.0980904L},
                    ConfirmPeriodCase{0.001L, 0.0097656L, 4.8828L, 103, 1.0058568L},
                    ConfirmPeriodCase{0.0L, 0.0097656L, 4.8828L, 103, 1.0058568L},
                    ConfirmPeriodCase{-3.0L, 0.0097656L, 4.8828L, 103, 1.0058568L},
                    ConfirmPeriodCase{100.0L, 35.5560981L, 17778.04905L, 1, 35.5560981L}));

TEST(ConfirmSamplePeriodTest, LeavesAGridPeriodBelowTheNewLimitAlone) {
    FakeFields fields;
    fields.Grid.Set(0.5L);
    fields.Period.Type(1.0L);
    acquisition::ConfirmSamplePeriod(fields);
    EXPECT_EQ(0.5L, fields.Grid.Value);
    ExpectShown(0.9998915L, fields.Grid.Min, 7);
}

TEST(ConfirmSamplePeriodTest, BringsTheDurationIntoRangeWhenItsMaximumFalls) {
    FakeFields fields;
    fields.Period.Type(100.0L);
    acquisition::ConfirmSamplePeriod(fields);
    fields.Duration.Set(17778.049L);
    ASSERT_EQ(17778.049L, fields.Duration.Value);

    fields.Period.Type(0.001L);
    const std::int32_t n = acquisition::ConfirmSamplePeriod(fields);
    ExpectShown(4.8828L, fields.Duration.Max, 7);
    EXPECT_EQ(Shown(4.8828L, 3), fields.Duration.Value);
    EXPECT_EQ(acquisition::MaxSweepLength, n);
    EXPECT_EQ(n, acquisition::SweepLength(fields.Duration.Value, fields.Period.Value));
}

TEST(ConfirmSamplePeriodTest, KeepsADurationThatStillFits) {
    FakeFields fields;
    fields.Period.Type(1.0L);
    acquisition::ConfirmSamplePeriod(fields);
    fields.Duration.Set(2.5L);
    fields.Period.Type(0.5L);
    EXPECT_EQ(4999, acquisition::ConfirmSamplePeriod(fields));
    EXPECT_EQ(2.5L, fields.Duration.Value);
}

struct ConfirmDurationCase {
    long double periodMs;
    long double typedS;
    std::int32_t length;
    long double axisMaximumMs;
};

class ConfirmDeflectTimeTest : public testing::TestWithParam<ConfirmDurationCase> {};

TEST_P(ConfirmDeflectTimeTest, SetsSweepLengthAndAxisOnly) {
    FakeFields fields;
    fields.Period.Set(GetParam().periodMs);
    fields.Duration.Max = acquisition::DeflectTimeMaxFor(fields.Period.Value);
    fields.Duration.Type(GetParam().typedS);
    const long double gridMin = fields.Grid.Min;

    EXPECT_EQ(GetParam().length, acquisition::ConfirmDeflectTime(fields));
    ExpectShown(GetParam().axisMaximumMs, fields.AxisMaximum, 9);
    EXPECT_EQ(Shown(GetParam().typedS, 3), fields.Duration.Value);
    EXPECT_EQ(gridMin, fields.Grid.Min);
}

INSTANTIATE_TEST_SUITE_P(
    TypedDurations, ConfirmDeflectTimeTest,
    testing::Values(ConfirmDurationCase{0.009765625L, 0.001L, 103, 1.0058568L},
                    ConfirmDurationCase{0.9998915L, 0.001L, 2, 1.999783L},
                    ConfirmDurationCase{0.009765625L, 1.0L, 102401, 102401 * 0.0097656L},
                    // Typed beyond the maximum and confirmed with Enter: the field keeps the
                    // text, the sweep stays within its bound.
                    ConfirmDurationCase{0.009765625L, 4.883L, acquisition::MaxSweepLength,
                                        acquisition::MaxSweepLength * 0.0097656L}));

} // namespace
