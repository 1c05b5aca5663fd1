// The pulse figures of a whole recording, read block by block, equal those of the sweep rule on
// the same samples read literally; a hole breaks the pulses and periods across it.
#include "measure/recording_statistics.h"

#include "capture/recording_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

using measure::TDurations;
using measure::TPulseStatistics;

// The sweep rule on each stretch between holes, times sample × period as the recording has them,
// the stretches' figures then put together.
TPulseStatistics Reference(const capture_test::TRandomRecording& made, double periodMs) {
    TPulseStatistics all;
    const auto merge = [](TDurations& into, const TDurations& from) {
        if (from.Count == 0)
            return;
        into.Min = into.Count == 0 ? from.Min : std::min(into.Min, from.Min);
        into.Max = into.Count == 0 ? from.Max : std::max(into.Max, from.Max);
        into.Sum += from.Sum;
        into.Count += from.Count;
    };
    for (const auto& [first, end] : made.Stretches) {
        std::vector<double> times, levels;
        for (std::uint64_t i = first; i < end; ++i) {
            times.push_back(static_cast<double>(i) * periodMs);
            levels.push_back(made.Levels[i]);
        }
        const TPulseStatistics part = measure::PulseStatistics(times, levels, 0, times.size());
        all.RisingEdges += part.RisingEdges;
        all.FallingEdges += part.FallingEdges;
        merge(all.Period, part.Period);
        merge(all.High, part.High);
        merge(all.Low, part.Low);
        all.HighInPeriods += part.HighInPeriods;
    }
    return all;
}

void ExpectSame(const TDurations& found, const TDurations& expected, double tolerance) {
    EXPECT_EQ(found.Count, expected.Count);
    EXPECT_EQ(found.Min, expected.Min);
    EXPECT_EQ(found.Max, expected.Max);
    EXPECT_NEAR(found.Sum, expected.Sum, tolerance);
}

TEST(RecordingPulseStatistics, EqualTheSweepFiguresOfTheSamples) {
    capture_test::TTempFolder folder;
    const std::string path = folder.Path("statistics.tlr");
    for (unsigned round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        const capture_test::TRandomRecording made = capture_test::MakeRandomRecording(path, round);
        const capture::TRecordingReader reader(path);
        const double periodMs = reader.Header().SamplePeriodSeconds() * 1000.0;
        const auto found = measure::RecordingPulseStatistics(reader);
        ASSERT_TRUE(found);
        const TPulseStatistics expected = Reference(made, periodMs);
        // Without a hole the sums are added in the same order; the stretches' sums are added in
        // another, so they may differ in the last bits.
        const double tolerance = made.Stretches.size() == 1 ? 0 : 1e-9;
        EXPECT_EQ(found->RisingEdges, expected.RisingEdges);
        EXPECT_EQ(found->FallingEdges, expected.FallingEdges);
        ExpectSame(found->Period, expected.Period, tolerance);
        ExpectSame(found->High, expected.High, tolerance);
        ExpectSame(found->Low, expected.Low, tolerance);
        EXPECT_NEAR(found->HighInPeriods, expected.HighInPeriods, tolerance);
    }
}

TEST(RecordingPulseStatistics, StopsOnTheFlag) {
    capture_test::TTempFolder folder;
    const std::string path = folder.Path("statistics.tlr");
    capture_test::MakeRandomRecording(path, 1);
    const capture::TRecordingReader reader(path);
    const std::atomic<bool> cancel{true};
    EXPECT_EQ(measure::RecordingPulseStatistics(reader, {&cancel, {}}), std::nullopt);
}

} // namespace
