// The search over a recording finds what the search on a sweep finds on the same samples, though
// it reads only the blocks whose summaries allow a match, and a hole breaks a pulse.
#include "capture/search.h"

#include "capture/recording_files.h"
#include "devsim/options.h"
#include "devsim/recording_maker.h"
#include "devsim/sources.h"
#include "measure/pulse_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace capture {
void PrintTo(const TFoundPulse& pulse, std::ostream* os) {
    *os << (pulse.High ? "high " : "low ") << pulse.First << " +" << pulse.Width;
}
} // namespace capture

using capture::TFoundPulse;
using capture::TPulseLevel;
using capture::TRecordingReader;
using capture::TSearchCriteria;
using capture::TWidthLimit;

namespace {

constexpr auto Low = TPulseLevel::Low;
constexpr auto High = TPulseLevel::High;
constexpr auto Either = TPulseLevel::Either;
constexpr auto Shorter = TWidthLimit::Shorter;
constexpr auto Longer = TWidthLimit::Longer;

// A recording of blocks given as their samples, '0' or '1', 8 a byte; a block that begins with
// '!' is damaged.
void Make(const std::string& path, const std::vector<std::string>& blocks) {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> sizes;
    std::set<std::size_t> damaged;
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        std::string samples = blocks[k];
        if (samples.front() == '!') {
            damaged.insert(k);
            samples.erase(0, 1);
        }
        for (std::size_t i = 0; i < samples.size(); i += 8) {
            std::uint8_t byte = 0;
            for (int bit = 0; bit < 8; ++bit)
                byte = static_cast<std::uint8_t>(byte << 1 | (samples[i + bit] == '1'));
            bytes.push_back(byte);
        }
        sizes.push_back(samples.size() / 8);
    }
    capture_test::WriteRecording(path, bytes, sizes);
    capture_test::DamageBlocks(path, damaged);
}

// Such a recording in a folder of its own, opened.
class TMadeRecording {
public:
    explicit TMadeRecording(const std::vector<std::string>& blocks) {
        Make(folder_.Path("made.tlr"), blocks);
        reader_.emplace(folder_.Path("made.tlr"));
    }
    const TRecordingReader& Reader() const { return *reader_; }

private:
    capture_test::TTempFolder folder_;
    std::optional<TRecordingReader> reader_;
};

struct TPulseCase {
    const char* Name;
    std::vector<std::string> Blocks;
    bool Forward;
    std::uint64_t From;
    TSearchCriteria Criteria;
    std::optional<TFoundPulse> Expected;
};

class RecordingPulseSearch : public testing::TestWithParam<TPulseCase> {};

TEST_P(RecordingPulseSearch, FindsTheWholePulseAcrossBlocks) {
    const TPulseCase& c = GetParam();
    const TMadeRecording made(c.Blocks);
    const TRecordingReader& reader = made.Reader();
    const auto found = c.Forward ? NextPulse(reader, c.From, c.Criteria)
                                 : PreviousPulse(reader, c.From, c.Criteria);
    EXPECT_EQ(found, c.Expected);
}

const std::vector<std::string> Across = {"00000011", "11111111", "10000000"};
const std::vector<std::string> AcrossAHole = {"00000011", "!11111111", "10000000"};
const std::vector<std::string> TwoHigh = {"00110011", "00000000"};

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordingPulseSearch,
    testing::Values(
        TPulseCase{"InsideABlock", {"00011000"}, true, 0, {High, Shorter, 3}, TFoundPulse{3, 2, true}},
        TPulseCase{"TailAndLead", {"00000011", "10000000"}, true, 0, {High, Shorter, 4},
                   TFoundPulse{6, 3, true}},
        TPulseCase{"ThroughABlockWithoutEdges", Across, true, 0, {High, Longer, 10},
                   TFoundPulse{6, 11, true}},
        TPulseCase{"ThroughABlockWithoutEdgesBack", Across, false, 24, {High, Longer, 10},
                   TFoundPulse{6, 11, true}},
        // A change of level across a border is an edge of the recording.
        TPulseCase{"TheBorderBeginsIt", {"00000000", "11100000"}, true, 0, {High, Shorter, 4},
                   TFoundPulse{8, 3, true}},
        TPulseCase{"TheBorderEndsIt", {"00011111", "00000000", "00000001"}, false, 24,
                   {Low, Longer, 4}, TFoundPulse{8, 15, false}},
        // A run across a hole has no known width, nor has one cut by the recording's ends.
        TPulseCase{"AHoleBreaksIt", AcrossAHole, true, 0, {Either, Longer, 0}, std::nullopt},
        TPulseCase{"AHoleBreaksItBack", AcrossAHole, false, 24, {Either, Longer, 0}, std::nullopt},
        TPulseCase{"CutByTheEnds", {"11100000"}, true, 0, {Either, Longer, 0}, std::nullopt},
        TPulseCase{"AfterAHole", {"01100000", "!00000000", "00011000"}, false, 24,
                   {Either, Longer, 0}, TFoundPulse{19, 2, true}},
        TPulseCase{"BeforeAHole", {"01100000", "!00000000", "00011000"}, false, 19,
                   {Either, Longer, 0}, TFoundPulse{1, 2, true}},
        TPulseCase{"AfterADamagedFirstBlock", {"!00000000", "00110000"}, true, 0,
                   {Either, Longer, 0}, TFoundPulse{10, 2, true}},
        // The limit itself matches neither way.
        TPulseCase{"EqualIsNotShorter", {"00111000"}, true, 0, {High, Shorter, 3}, std::nullopt},
        TPulseCase{"EqualIsNotLonger", {"00111000"}, true, 0, {High, Longer, 3}, std::nullopt},
        // A sample on an edge is neither after nor before it.
        TPulseCase{"NextFromItsStart", TwoHigh, true, 2, {High, Shorter, 3}, TFoundPulse{6, 2, true}},
        TPulseCase{"NextFromJustBefore", TwoHigh, true, 1, {High, Shorter, 3}, TFoundPulse{2, 2, true}},
        TPulseCase{"PreviousFromItsEnd", TwoHigh, false, 8, {High, Shorter, 3}, TFoundPulse{2, 2, true}},
        TPulseCase{"PreviousFromJustAfter", TwoHigh, false, 9, {High, Shorter, 3},
                   TFoundPulse{6, 2, true}},
        TPulseCase{"LowOnly", TwoHigh, true, 0, {Low, Shorter, 3}, TFoundPulse{4, 2, false}}),
    [](const testing::TestParamInfo<TPulseCase>& row) { return std::string(row.param.Name); });

struct TEdgeCase {
    const char* Name;
    std::vector<std::string> Blocks;
    std::uint64_t From;
    std::optional<std::uint64_t> Next, Previous;
};

class RecordingEdgeSearch : public testing::TestWithParam<TEdgeCase> {};

TEST_P(RecordingEdgeSearch, FindsTheNearestEdgeOnEachSide) {
    const TEdgeCase& c = GetParam();
    const TMadeRecording made(c.Blocks);
    EXPECT_EQ(NextEdge(made.Reader(), c.From), c.Next);
    EXPECT_EQ(PreviousEdge(made.Reader(), c.From), c.Previous);
}

const std::vector<std::string> Steps = {"00000000", "11111111", "11111111", "11110000"};

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordingEdgeSearch,
    testing::Values(TEdgeCase{"OverBlocksWithoutEdges", Steps, 10, 28, 8},
                    TEdgeCase{"OnTheBorderEdge", Steps, 8, 28, std::nullopt},
                    TEdgeCase{"FromTheStart", Steps, 0, 8, std::nullopt},
                    TEdgeCase{"FromTheEnd", Steps, 32, std::nullopt, 28},
                    TEdgeCase{"InsideABlock", {"01010000"}, 2, 3, 1},
                    // The first sample after a hole is no edge: the level before it is unknown.
                    TEdgeCase{"AfterAHole", {"00000000", "!11111111", "11110000"}, 0, 20,
                              std::nullopt}),
    [](const testing::TestParamInfo<TEdgeCase>& row) { return std::string(row.param.Name); });

// The reference: measure's search on the samples of each stretch between holes, read literally,
// one point a sample at its number.
struct TStretchTrace {
    std::vector<double> Times, Levels;
};

std::vector<TStretchTrace> Traces(const capture_test::TRandomRecording& made) {
    std::vector<TStretchTrace> traces;
    for (const auto& [first, end] : made.Stretches) {
        TStretchTrace& trace = traces.emplace_back();
        for (std::uint64_t i = first; i < end; ++i) {
            trace.Times.push_back(static_cast<double>(i));
            trace.Levels.push_back(made.Levels[i]);
        }
    }
    return traces;
}

std::optional<TFoundPulse> Reference(const std::vector<TStretchTrace>& traces, bool forward,
                                     std::uint64_t from, const TSearchCriteria& criteria) {
    const measure::TPulseCriteria inMs{criteria.Level, criteria.Limit,
                                       static_cast<double>(criteria.Width)};
    for (std::size_t k = 0; k < traces.size(); ++k) {
        const TStretchTrace& trace = traces[forward ? k : traces.size() - 1 - k];
        const auto t = static_cast<double>(from);
        const auto pulse = forward ? measure::NextPulse(trace.Times, trace.Levels, t, inMs)
                                   : measure::PreviousPulse(trace.Times, trace.Levels, t, inMs);
        if (pulse)
            return TFoundPulse{static_cast<std::uint64_t>(pulse->Start),
                               static_cast<std::uint64_t>(pulse->Width()), pulse->High};
    }
    return std::nullopt;
}

std::optional<std::uint64_t> ReferenceEdge(const std::vector<TStretchTrace>& traces, bool forward,
                                           std::uint64_t from) {
    for (std::size_t k = 0; k < traces.size(); ++k) {
        const TStretchTrace& trace = traces[forward ? k : traces.size() - 1 - k];
        const auto t = static_cast<double>(from);
        const auto edge = forward ? measure::NextEdgeTime(trace.Times, trace.Levels, t)
                                  : measure::PreviousEdgeTime(trace.Times, trace.Levels, t);
        if (edge)
            return static_cast<std::uint64_t>(*edge);
    }
    return std::nullopt;
}

// Many random files, random block sizes, long runs across borders, holes; searched from many
// samples both ways for random levels and widths.
TEST(RecordingSearchMany, AgreesWithTheSweepSearchOnTheSamples) {
    capture_test::TTempFolder folder;
    const std::string path = folder.Path("random.tlr");
    std::mt19937 random(77);
    for (unsigned round = 0; round < 300; ++round) {
        const capture_test::TRandomRecording made = capture_test::MakeRandomRecording(path, round);
        const TRecordingReader reader(path);
        const std::vector<TStretchTrace> traces = Traces(made);
        const std::uint64_t total = made.Levels.size();
        for (int query = 0; query < 30; ++query) {
            const TSearchCriteria criteria{static_cast<TPulseLevel>(random() % 3),
                                           random() % 2 ? Longer : Shorter, random() % 40};
            const std::uint64_t from = random() % (total + 2);
            ASSERT_EQ(NextPulse(reader, from, criteria), Reference(traces, true, from, criteria))
                << "round " << round << " after " << from;
            ASSERT_EQ(PreviousPulse(reader, from, criteria),
                      Reference(traces, false, from, criteria))
                << "round " << round << " before " << from;
            ASSERT_EQ(NextEdge(reader, from), ReferenceEdge(traces, true, from))
                << "round " << round << " after " << from;
            ASSERT_EQ(PreviousEdge(reader, from), ReferenceEdge(traces, false, from))
                << "round " << round << " before " << from;
        }
    }
}

// The glitch source's narrow pulses, where its documented formula puts them: pulse k begins at
// floor(c - width / 2 + 1/2), c = (k PERIOD_MS FREQ_HZ / 1000 + 3/4) S, width = WIDTH_US / T.
TEST(RecordingSearchGlitch, FindsEachGlitchWhereTheSimulatorPutsIt) {
    capture_test::TTempFolder folder;
    const std::string path = folder.Path("glitch.tlr");
    const devsim::SignalFactory signals(devsim::ParseSource("glitch:700:30:1000"));
    devsim::MakeRecording(signals, devsim::OfflineRecording{path, 16, 3}, 0, "test");
    const TRecordingReader reader(path);
    const double period = reader.Header().SamplePeriodSeconds();
    const double square = 1 / (1000 * period);
    const auto width = static_cast<std::uint64_t>(std::floor(30e-6 / period + 0.5));
    std::vector<std::uint64_t> expected;
    for (int k = 0; k < 5; ++k) {
        const double c = (k * 700 * 1000 / 1000.0 + 0.75) * square;
        expected.push_back(static_cast<std::uint64_t>(std::floor(c - width / 2.0 + 0.5)));
    }
    const TSearchCriteria narrow{High, Shorter, 10};
    std::vector<std::uint64_t> found;
    for (auto pulse = NextPulse(reader, 0, narrow); pulse; pulse = NextPulse(reader, pulse->First, narrow)) {
        EXPECT_EQ(pulse->Width, width);
        found.push_back(pulse->First);
    }
    EXPECT_EQ(found, expected);
    const auto last = PreviousPulse(reader, reader.TotalSamples(), narrow);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->First, expected.back());
}

// A search runs on a worker thread: the flag stops it with nothing found, and the progress goes
// up to the whole without going back.
TEST(RecordingSearchControl, StopsOnTheFlagAndReportsProgress) {
    std::vector<std::string> blocks(300, "00000000");
    blocks.back() = "00110000";
    const TMadeRecording made(blocks);
    const TRecordingReader& reader = made.Reader();
    const TSearchCriteria any{Either, Longer, 0};
    std::vector<double> shares;
    const capture::TScanControl watched{nullptr, [&](double share) { shares.push_back(share); }};
    EXPECT_EQ(NextPulse(reader, 0, {High, Longer, 2}, watched), std::nullopt);
    ASSERT_FALSE(shares.empty());
    EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end()));
    EXPECT_LE(shares.size(), 101u);
    EXPECT_DOUBLE_EQ(shares.back(), 1.0);

    EXPECT_EQ(NextPulse(reader, 0, any), (TFoundPulse{8 * 299 + 2, 2, true}));
    const std::atomic<bool> cancel{true};
    EXPECT_EQ(NextPulse(reader, 0, any, {&cancel, {}}), std::nullopt);
}

} // namespace
