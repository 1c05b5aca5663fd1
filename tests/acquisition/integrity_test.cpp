#include "acquisition/integrity.h"

#include "acquisition/timing.h"
#include "support/real_locale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

using namespace acquisition;

namespace {

TEST(Integrity, RatesOfTheDividerAndTheLine) {
    EXPECT_DOUBLE_EQ(acquisition::DeviceByteRate(16), 12800.0);
    EXPECT_DOUBLE_EQ(acquisition::LineByteRate(115200, 8, false, 1), 11520.0);
    EXPECT_DOUBLE_EQ(acquisition::LineByteRate(115200, 7, true, 2), 10472.727272727272);
}

// Ticks every half second over the last second: missing bytes only below 98 % of what the
// slower of device and line gives, and not during the first second.
TEST(Integrity, MissingBytesOfTheLastSecond) {
    acquisition::TIntegrityMonitor monitor;
    monitor.Start(10000, 11520, 100.0);
    monitor.Received(4000);
    EXPECT_EQ(monitor.Tick(100.5, 0).Missing, 0u); // first half second: not judged
    monitor.Received(5000);
    acquisition::TIntegrityFigures f = monitor.Tick(101.0, 0);
    EXPECT_DOUBLE_EQ(f.ReceivedRate, 9000.0);
    EXPECT_EQ(f.Missing, 1000u);
    EXPECT_FALSE(f.LineSlower);
    monitor.Received(5000);
    f = monitor.Tick(101.5, 0); // 10000 bytes from 100.5 on
    EXPECT_EQ(f.Missing, 0u);
    monitor.Received(4950);
    EXPECT_EQ(monitor.Tick(102.0, 0).Missing, 0u); // 99.5 %
    EXPECT_EQ(monitor.Totals(102.0).Received, 18950u);
    EXPECT_EQ(monitor.Totals(102.0).Expected, 20000u);

    monitor.Start(12800, 11520, 0);
    monitor.Received(5760);
    monitor.Tick(0.5, 0);
    monitor.Received(5760);
    f = monitor.Tick(1.0, 0);
    EXPECT_TRUE(f.LineSlower);
    EXPECT_EQ(f.Missing, 0u);
}

// Bytes that wait at the port for a busy window have arrived all the same; once the handler has
// them they are not counted twice.
TEST(Integrity, BytesWaitingAtThePortHaveArrived) {
    acquisition::TIntegrityMonitor monitor;
    monitor.Start(10000, 11520, 0);
    monitor.Received(5000);
    monitor.Tick(0.5, 0);
    monitor.Received(3000);
    acquisition::TIntegrityFigures f = monitor.Tick(1.0, 2000);
    EXPECT_DOUBLE_EQ(f.ReceivedRate, 10000.0);
    EXPECT_EQ(f.Missing, 0u);
    monitor.Received(2000 + 5000);
    f = monitor.Tick(1.5, 0);
    EXPECT_DOUBLE_EQ(f.ReceivedRate, 10000.0);
    EXPECT_EQ(f.Missing, 0u);
    EXPECT_EQ(monitor.Totals(1.5).Received, 15000u);
}

struct TStall {
    double At = 0;
    double For = 0;
};

struct TRun {
    std::vector<double> RedTicks;
    // The received rate's share of the expected one at each tick once a whole window lay behind.
    double LowestShare = 2;
    double HighestShare = 0;
};

// A device at its rate (or the line's, when that is slower) whose bytes are each delivered a few
// milliseconds after the device made them, and the window's ticks every half second, every third
// a little late. A stall makes no bytes for its time, then the device goes on at its rate.
TRun Simulate(double deviceRate, double lineRate, double seconds, const TStall& stall = {}) {
    const double rate = std::min(deviceRate, lineRate);
    const double window = acquisition::IntegrityWindow(rate);
    // The device's first samples lag a little behind the start of the count.
    constexpr double DeviceStart = 0.01;
    acquisition::TIntegrityMonitor monitor;
    monitor.Start(deviceRate, lineRate, 0);
    TRun run;
    std::uint64_t byte = 0;
    for (int tick = 1; tick * 0.5 <= seconds; ++tick) {
        const double now = tick * 0.5 + (tick % 3 == 0 ? 0.02 : 0);
        for (;; ++byte) {
            const double made = DeviceStart + static_cast<double>(byte + 1) / rate;
            if (made + 0.001 * static_cast<double>(byte % 5) > now)
                break;
            if (made < stall.At || made >= stall.At + stall.For)
                monitor.Received(1);
        }
        const acquisition::TIntegrityFigures f = monitor.Tick(now, 0);
        if (f.Missing > 0)
            run.RedTicks.push_back(now);
        if (now >= window + 0.5) {
            run.LowestShare = std::min(run.LowestShare, f.ReceivedRate / rate);
            run.HighestShare = std::max(run.HighestShare, f.ReceivedRate / rate);
        }
    }
    return run;
}

struct TPeriodCase {
    const char* Name;
    long double PeriodMs;
    double LineRate;
};

void PrintTo(const TPeriodCase& row, std::ostream* out) {
    *out << row.Name;
}

class IntegrityAtPeriod : public testing::TestWithParam<TPeriodCase> {
protected:
    double DeviceRate() const {
        return acquisition::DeviceByteRate(acquisition::PeriodToDivider(GetParam().PeriodMs));
    }
    double Rate() const { return std::min(DeviceRate(), GetParam().LineRate); }
};

// Without a loss the figure is never red and, once a window lies behind, reads the expected
// rate within the threshold, however few bytes a second come.
TEST_P(IntegrityAtPeriod, NoLossIsNeverRed) {
    const double window = acquisition::IntegrityWindow(Rate());
    const TRun run = Simulate(DeviceRate(), GetParam().LineRate, std::max(3 * window, 10.0));
    EXPECT_TRUE(run.RedTicks.empty())
        << "first red at " << run.RedTicks.front() << " s of a " << window << " s window";
    EXPECT_GE(run.LowestShare, acquisition::IntegrityThreshold);
    EXPECT_LE(run.HighestShare, 2 - acquisition::IntegrityThreshold);
}

// A stall turns the figure red within the window's length, and it stays so only until the stall
// has left the window.
TEST_P(IntegrityAtPeriod, StallIsRedWithinTheWindow) {
    const double window = acquisition::IntegrityWindow(Rate());
    const TStall stall{1.5 * window, std::max(1.5, 20 / Rate())};
    const TRun run =
        Simulate(DeviceRate(), GetParam().LineRate, stall.At + stall.For + 2 * window, stall);
    ASSERT_FALSE(run.RedTicks.empty());
    EXPECT_GE(run.RedTicks.front(), stall.At);
    EXPECT_LE(run.RedTicks.front(), stall.At + window);
    EXPECT_LE(run.RedTicks.back(), stall.At + stall.For + window + 0.5);
}

INSTANTIATE_TEST_SUITE_P(
    Periods, IntegrityAtPeriod,
    testing::Values(TPeriodCase{"shortest_line_slower", 0.0097656L, 11520},
                    TPeriodCase{"divider_20", 0.0119358L, 11520},
                    TPeriodCase{"about_1kBps", 0.125L, 11520}, TPeriodCase{"ms_1", 1.0L, 11520},
                    TPeriodCase{"ms_10", 10.0L, 11520}, TPeriodCase{"longest", 35.556L, 11520},
                    TPeriodCase{"ms_1_line_300_baud", 1.0L, 30}),
    [](const testing::TestParamInfo<TPeriodCase>& row) { return std::string(row.param.Name); });

struct TTextCase {
    const char* Name;
    QLocale Locale;
    acquisition::TIntegrityFigures Figures;
    const char* Text;
};

void PrintTo(const TTextCase& row, std::ostream* out) {
    *out << row.Name;
}

class IntegrityTextIn : public testing::TestWithParam<TTextCase> {};

// Rates below 1 kB/s in B/s, each unit named unless both share it; Latin digits with the
// locale's own separator, as the window's other numbers, where the locale's own digits differ.
TEST_P(IntegrityTextIn, Locale) {
    const test_support::TRealLocale locale(GetParam().Locale);
    EXPECT_EQ(acquisition::IntegrityText(GetParam().Figures).toStdString(), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IntegrityTextIn,
    testing::Values(
        TTextCase{"kilo", QLocale::c(), {10472.7, 10472.7, false, 0}, "10.5 кБ/с из 10.5"},
        TTextCase{"bytes", QLocale::c(), {12.4, 12.5, false, 0}, "12.4 Б/с из 12.5"},
        TTextCase{"stall_at_a_fast_rate",
                  QLocale::c(),
                  {0, 12800, true, 11520},
                  "0.0 Б/с из 12.8 кБ/с, линия медленнее прибора, не хватает 11520 Б"},
        TTextCase{"russian",
                  QLocale(QLocale::Russian, QLocale::Russia),
                  {3.2, 3.5156, false, 14},
                  "3,2 Б/с из 3,5, не хватает 14 Б"},
        TTextCase{"pashto_afghanistan",
                  QLocale(QLocale::Pashto, QLocale::Afghanistan),
                  {11500, 11520, false, 0},
                  "11\u066b5 кБ/с из 11\u066b5"}),
    [](const testing::TestParamInfo<TTextCase>& row) { return std::string(row.param.Name); });

} // namespace
