#include "acquisition/sweep.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

using acquisition::TSweep;

namespace {

// Feeds bytes as one data event does: stops at the first byte that finishes a single sweep.
struct TEvent {
    int redraws = 0;
    bool finished = false;
    std::size_t bytesRead = 0;
};

TEvent FeedEvent(acquisition::TSweep& sweep, const std::vector<std::uint8_t>& bytes,
                 std::vector<double>& levels) {
    TEvent event;
    for (std::uint8_t b : bytes) {
        ++event.bytesRead;
        const auto r = sweep.Feed(b, levels);
        event.redraws += r.CompletedSweeps;
        if (r.Finished) {
            event.finished = true;
            break;
        }
    }
    return event;
}

// Takes every completed sweep as the window does: the sweep is kept as it was handed over, and the
// next one is written into the other of two buffers, which still holds the sweep before it (or
// -1 at first), so that a point left unwritten or a sample written late shows.
class TSwappingTarget final : public acquisition::TSweepTarget {
public:
    explicit TSwappingTarget(int n)
        : buffers_{std::vector<double>(static_cast<std::size_t>(n), -1.0),
                   std::vector<double>(static_cast<std::size_t>(n), -1.0)} {
        Levels = buffers_[0];
    }
    void SweepCompleted() override {
        Completed.emplace_back(Levels.begin(), Levels.end());
        current_ ^= 1;
        Levels = buffers_[current_];
    }
    // The first `count` points of the sweep under way.
    std::vector<double> UnderWay(std::int32_t count) const {
        return {Levels.begin(), Levels.begin() + count};
    }

    std::vector<std::vector<double>> Completed;

private:
    std::array<std::vector<double>, 2> buffers_;
    int current_ = 0;
};

std::vector<double> Levels(std::initializer_list<int> bits) {
    std::vector<double> v;
    for (int b : bits)
        v.push_back(b);
    return v;
}

} // namespace

TEST(PeriodicSweep, SampleAfterAFullSweepRedrawsAndBecomesPointZero) {
    acquisition::TSweep sweep;
    sweep.Start(acquisition::TSweep::smPeriodic, 20);
    std::vector<double> levels(20, 0.0);
    // 24 samples: 1111 0000 1111 0000 1010 | 1 0 1 0 (0xA then 0xA of the last byte)
    const auto e = FeedEvent(sweep, {0xF0, 0xF0, 0xAA}, levels);
    EXPECT_EQ(e.redraws, 1);
    EXPECT_EQ(sweep.WriteIndex(), 4);
    // Sample 21..24 = 1,0,1,0 overwrite points 0..3; points 4..19 keep the first round.
    EXPECT_EQ(levels, Levels({1, 0, 1, 0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 1, 0, 1, 0}));
}

TEST(PeriodicSweep, FullSweepIsNotRedrawnUntilTheNextSampleArrives) {
    acquisition::TSweep sweep;
    sweep.Start(acquisition::TSweep::smPeriodic, 16);
    std::vector<double> levels(16, 0.0);
    auto first = FeedEvent(sweep, {0xFF, 0xFF}, levels);
    EXPECT_EQ(first.redraws, 0);
    EXPECT_EQ(sweep.WriteIndex(), 16);
    EXPECT_EQ(levels, std::vector<double>(16, 1.0));
    auto second = FeedEvent(sweep, {0x00, 0x00}, levels);
    EXPECT_EQ(second.redraws, 1);
    EXPECT_EQ(sweep.WriteIndex(), 16);
    EXPECT_EQ(levels, std::vector<double>(16, 0.0));
}

TEST(PeriodicSweep, ShortSweepWrapsSeveralTimesWithinOneByte) {
    acquisition::TSweep sweep;
    sweep.Start(acquisition::TSweep::smPeriodic, 2);
    std::vector<double> levels(2, 0.0);
    const auto e = FeedEvent(sweep, {0b10'01'11'00}, levels);
    // Samples 3, 5 and 7 each complete a sweep.
    EXPECT_EQ(e.redraws, 3);
    EXPECT_EQ(sweep.WriteIndex(), 2);
    EXPECT_EQ(levels, Levels({0, 0}));
}

TEST(SingleSweep, FirstSampleIsTheReferenceAndTheFirstOtherLevelStartsTheTrace) {
    acquisition::TSweep sweep;
    sweep.Start(acquisition::TSweep::smSingle, 10);
    std::vector<double> levels(10, 0.0);
    const auto e = FeedEvent(sweep, {0x00, 0x0F}, levels);
    EXPECT_FALSE(e.finished);
    EXPECT_EQ(e.redraws, 0);
    EXPECT_TRUE(sweep.Triggered());
    EXPECT_EQ(sweep.FirstLevel(), 0u);
    EXPECT_EQ(sweep.WriteIndex(), 4);
    EXPECT_EQ(levels, Levels({1, 1, 1, 1, 0, 0, 0, 0, 0, 0}));
}

TEST(SingleSweep, ConstantLevelNeverTriggersNorWrites) {
    acquisition::TSweep sweep;
    sweep.Start(acquisition::TSweep::smSingle, 8);
    std::vector<double> levels(8, 0.0);
    const auto e = FeedEvent(sweep, std::vector<std::uint8_t>(1000, 0xFF), levels);
    EXPECT_FALSE(e.finished);
    EXPECT_EQ(e.redraws, 0);
    EXPECT_FALSE(sweep.Triggered());
    EXPECT_EQ(sweep.FirstLevel(), 1u);
    EXPECT_EQ(sweep.WriteIndex(), 0);
    EXPECT_EQ(levels, std::vector<double>(8, 0.0));
}

TEST(SingleSweep, SampleAfterAFullSweepFinishesAndTheRestIsNotRead) {
    acquisition::TSweep sweep;
    sweep.Start(acquisition::TSweep::smSingle, 8);
    std::vector<double> levels(8, 0.0);
    const auto e = FeedEvent(sweep, {0x00, 0xFF, 0x00, 0x55}, levels);
    EXPECT_TRUE(e.finished);
    EXPECT_EQ(e.redraws, 1);
    EXPECT_EQ(e.bytesRead, 3u);
    EXPECT_EQ(sweep.WriteIndex(), 8);
    EXPECT_EQ(levels, std::vector<double>(8, 1.0));
}

TEST(SingleSweep, StartResetsTheStateOfThePreviousRecording) {
    acquisition::TSweep sweep;
    sweep.Start(acquisition::TSweep::smSingle, 8);
    std::vector<double> levels(8, 0.0);
    FeedEvent(sweep, {0x0F}, levels);
    sweep.Start(acquisition::TSweep::smSingle, 8);
    EXPECT_TRUE(sweep.AwaitingFirstSample());
    EXPECT_FALSE(sweep.Triggered());
    EXPECT_EQ(sweep.WriteIndex(), 0);
}

// A trace loaded from a file during a recording may hold fewer points than the sweep expects.
TEST(SweepWrites, NeverReachBeyondThePointsTheTraceHolds) {
    for (auto mode : {acquisition::TSweep::smPeriodic, acquisition::TSweep::smSingle}) {
        acquisition::TSweep sweep;
        sweep.Start(mode, 64);
        std::vector<double> storage(64, -1.0);
        std::span<double> shorter(storage.data(), 5);
        for (int i = 0; i < 40; ++i)
            sweep.Feed(i % 2 ? 0xFF : 0x00, shorter);
        for (std::size_t i = 5; i < storage.size(); ++i)
            ASSERT_EQ(storage[i], -1.0) << "mode " << mode << " wrote point " << i;
    }
}

// The byte-at-once fast path must give exactly what the sample-by-sample rule gives.
class SweepAgainstSampleRule
    : public testing::TestWithParam<std::tuple<acquisition::TSweep::TMode, int>> {};

TEST_P(SweepAgainstSampleRule, SameLevelsRedrawsAndEnd) {
    const auto [mode, n] = GetParam();
    std::mt19937 rng(static_cast<unsigned>(n) * 7919u + mode);
    std::vector<std::uint8_t> bytes(4000);
    for (auto& b : bytes) // long runs of one level with occasional edges, as a real signal has
        b = (rng() % 16 == 0) ? static_cast<std::uint8_t>(rng()) : (rng() % 2 ? 0xFF : 0x00);

    acquisition::TSweep sweep;
    sweep.Start(mode, n);
    std::vector<double> levels(static_cast<std::size_t>(n), 0.0);

    std::vector<double> expect(static_cast<std::size_t>(n), 0.0);
    std::vector<std::vector<double>> sweeps;
    int index = 0, redraws = 0;
    bool awaiting = true, triggered = false, finished = false;
    unsigned first = 0;
    std::size_t expectBytes = 0;
    for (std::uint8_t b : bytes) {
        ++expectBytes;
        for (int k = 7; k >= 0 && !finished; --k) {
            const unsigned s = (b >> k) & 1u;
            if (mode == acquisition::TSweep::smPeriodic) {
                if (index >= n) {
                    ++redraws;
                    sweeps.push_back(expect);
                    index = 0;
                }
                expect[static_cast<std::size_t>(index++)] = s;
            } else if (awaiting) {
                first = s;
                awaiting = false;
            } else if (triggered) {
                if (index >= n) {
                    ++redraws;
                    sweeps.push_back(expect);
                    finished = true;
                } else {
                    expect[static_cast<std::size_t>(index++)] = s;
                }
            } else if (s != first) {
                triggered = true;
                expect[static_cast<std::size_t>(index++)] = s;
            }
        }
        if (finished)
            break;
    }

    int gotRedraws = 0;
    bool gotFinished = false;
    std::size_t gotBytes = 0;
    for (std::uint8_t b : bytes) {
        ++gotBytes;
        const auto r = sweep.Feed(b, levels);
        gotRedraws += r.CompletedSweeps;
        if (r.Finished) {
            gotFinished = true;
            break;
        }
    }
    EXPECT_EQ(levels, expect);
    EXPECT_EQ(gotFinished, finished);
    EXPECT_EQ(gotBytes, expectBytes);
    EXPECT_EQ(sweep.WriteIndex(), index);
    EXPECT_EQ(gotRedraws, redraws);

    // Into buffers of their own, each sweep is handed over whole, with nothing of the next one.
    acquisition::TSweep buffered;
    buffered.Start(mode, n);
    TSwappingTarget target(n);
    for (std::size_t b = 0; b < expectBytes; ++b)
        buffered.Feed(bytes[b], target);
    EXPECT_EQ(target.Completed, sweeps);
    const std::int32_t underWay = finished ? 0 : index;
    ASSERT_EQ(buffered.UnderWay(), underWay);
    EXPECT_EQ(target.UnderWay(underWay),
              std::vector<double>(expect.begin(), expect.begin() + underWay));
    // A finished single sweep takes no more bytes.
    if (finished) {
        EXPECT_TRUE(buffered.Feed(0x0F, target).Finished);
        EXPECT_EQ(target.Completed.size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(ModesAndLengths, SweepAgainstSampleRule,
                         testing::Combine(testing::Values(acquisition::TSweep::smPeriodic,
                                                          acquisition::TSweep::smSingle),
                                          testing::Values(1, 2, 7, 8, 9, 103, 1000, 20001)));

TEST(LineErrorText, KnownCodesHaveTheirTextAndOthersNone) {
    EXPECT_STREQ(acquisition::LineErrorText(0), "No error, ordinal value matches ecOK");
    EXPECT_STREQ(acquisition::LineErrorText(4), "UART receiver framing error");
    EXPECT_STREQ(acquisition::LineErrorText(9), "Break condition received");
    EXPECT_STREQ(acquisition::LineErrorText(10), "");
    EXPECT_STREQ(acquisition::LineErrorText(12), "");
    EXPECT_EQ(std::string(acquisition::kLineErrorPrefix) + acquisition::LineErrorText(9),
              "Ошибка приема данных: Break condition received");
}

// A periodic sweep started by an edge, checked against the rule applied sample by sample: once
// full, the sweep waits for the first edge of the kind, whose new sample becomes point 0; after
// 2N samples without one, the next sample starts a free sweep.
class TriggeredSweepAgainstSampleRule
    : public testing::TestWithParam<std::tuple<acquisition::TSweep::TTrigger, int>> {};

TEST_P(TriggeredSweepAgainstSampleRule, SweepsStartOnTheEdge) {
    const auto [trigger, n] = GetParam();
    std::mt19937 rng(static_cast<unsigned>(n) * 31u + trigger);
    std::vector<std::uint8_t> bytes(6000);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        // Stretches of a steady level longer than the wait, and stretches of edges.
        const bool quiet = (i / 700) % 3 == 1;
        bytes[i] = quiet              ? 0x00
                   : (rng() % 8 == 0) ? static_cast<std::uint8_t>(rng())
                                      : (rng() % 2 ? 0xFF : 0x00);
    }
    const unsigned wanted = trigger == acquisition::TSweep::tgRising ? 1u : 0u;

    std::vector<double> expect(static_cast<std::size_t>(n), 0.0);
    std::vector<std::vector<double>> sweeps;
    int index = 0, redraws = 0, edgeStarts = 0;
    bool waiting = true, noTrigger = false, first = true;
    unsigned last = 0;
    std::int64_t waited = 0;
    for (std::uint8_t b : bytes) {
        for (int k = 7; k >= 0; --k) {
            const unsigned s = (b >> k) & 1u;
            if (!waiting && index >= n) {
                ++redraws;
                sweeps.push_back(expect);
                waiting = true;
                waited = 0;
            }
            if (waiting) {
                const bool edge = !first && s == wanted && last != wanted;
                ++waited;
                if (edge || waited > 2 * n) {
                    waiting = false;
                    noTrigger = !edge;
                    edgeStarts += edge;
                    index = 0;
                }
            }
            if (!waiting)
                expect[static_cast<std::size_t>(index++)] = s;
            last = s;
            first = false;
        }
    }

    acquisition::TSweep sweep;
    sweep.Start(acquisition::TSweep::smPeriodic, n, trigger);
    std::vector<double> levels(static_cast<std::size_t>(n), 0.0);
    int gotRedraws = 0;
    for (std::uint8_t b : bytes)
        gotRedraws += sweep.Feed(b, levels).CompletedSweeps;
    EXPECT_EQ(levels, expect);
    EXPECT_EQ(gotRedraws, redraws);
    EXPECT_EQ(sweep.WriteIndex(), index);
    EXPECT_EQ(sweep.AwaitingEdge(), waiting);
    EXPECT_EQ(sweep.NoTrigger(), noTrigger);
    EXPECT_GT(edgeStarts, 2);

    acquisition::TSweep buffered;
    buffered.Start(acquisition::TSweep::smPeriodic, n, trigger);
    TSwappingTarget target(n);
    for (std::uint8_t b : bytes)
        buffered.Feed(b, target);
    EXPECT_EQ(target.Completed, sweeps);
    const std::int32_t underWay = waiting ? 0 : index;
    ASSERT_EQ(buffered.UnderWay(), underWay);
    EXPECT_EQ(target.UnderWay(underWay),
              std::vector<double>(expect.begin(), expect.begin() + underWay));
}

INSTANTIATE_TEST_SUITE_P(EdgesAndLengths, TriggeredSweepAgainstSampleRule,
                         testing::Combine(testing::Values(acquisition::TSweep::tgRising,
                                                          acquisition::TSweep::tgFalling),
                                          testing::Values(1, 7, 8, 9, 103, 1000)));

// A steady line: after two sweep lengths one free sweep, marked as such; an edge ends the mark.
TEST(TriggeredSweep, SteadyLineRunsFreeAfterTwoSweepLengths) {
    acquisition::TSweep sweep;
    sweep.Start(acquisition::TSweep::smPeriodic, 16, acquisition::TSweep::tgRising);
    std::vector<double> levels(16, -1.0);
    // 32 samples waited, the reference among them; the 33rd starts the free sweep at point 0.
    EXPECT_EQ(FeedEvent(sweep, std::vector<std::uint8_t>(4, 0x00), levels).redraws, 0);
    EXPECT_TRUE(sweep.AwaitingEdge());
    EXPECT_FALSE(sweep.NoTrigger());
    EXPECT_EQ(levels[0], -1.0);
    FeedEvent(sweep, {0x00}, levels);
    EXPECT_FALSE(sweep.AwaitingEdge());
    EXPECT_TRUE(sweep.NoTrigger());
    EXPECT_EQ(sweep.WriteIndex(), 8);
    // Full after 8 more; 0x0F then has its edge at its fifth sample.
    EXPECT_EQ(FeedEvent(sweep, {0x00, 0x00, 0x0F}, levels).redraws, 1);
    EXPECT_FALSE(sweep.NoTrigger());
    EXPECT_EQ(sweep.WriteIndex(), 4);
    EXPECT_EQ(std::vector<double>(levels.begin(), levels.begin() + 4), Levels({1, 1, 1, 1}));
}

// The words of a VCD file's comment: a window's export keeps its wording, a recording of several
// sweeps back to back counts them.
TEST(SweepText, NamesTheModeTheDurationAndTheSamples) {
    EXPECT_EQ(acquisition::SweepText(acquisition::TSweep::smSingle, 1, 0.001L, 103),
              "single sweep of 0.001 s, 103 samples");
    EXPECT_EQ(acquisition::SweepText(acquisition::TSweep::smPeriodic, 1, 1.5L, 7),
              "periodic sweeps of 1.5 s, 7 samples");
    EXPECT_EQ(acquisition::SweepText(acquisition::TSweep::smPeriodic, 10, 0.001L, 1030),
              "10 periodic sweeps of 0.001 s, 1030 samples");
    EXPECT_EQ(acquisition::SweepText(acquisition::TSweep::smSingle, 3, 0.25L, 3),
              "3 single sweeps of 0.25 s, 3 samples");
}
