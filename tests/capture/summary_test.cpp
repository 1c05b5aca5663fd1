#include "capture/summary.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <vector>

using capture::Summarise;
using capture::TBlockSummary;

namespace {

// The summary worked out the long way: every sample, every edge, every run between two edges.
TBlockSummary BruteForce(const std::vector<std::uint8_t>& bytes) {
    std::vector<int> levels;
    for (std::uint8_t byte : bytes)
        for (int k = 7; k >= 0; --k)
            levels.push_back((byte >> k) & 1);
    std::vector<std::uint32_t> edges;
    TBlockSummary s;
    for (std::size_t i = 1; i < levels.size(); ++i)
        if (levels[i] != levels[i - 1]) {
            edges.push_back(static_cast<std::uint32_t>(i));
            ++(levels[i] ? s.RisingEdges : s.FallingEdges);
        }
    const auto n = static_cast<std::uint32_t>(levels.size());
    s.StartLevel = static_cast<std::uint8_t>(levels.front());
    s.EndLevel = static_cast<std::uint8_t>(levels.back());
    s.LeadRun = edges.empty() ? n : edges.front();
    s.TailRun = edges.empty() ? n : n - edges.back();
    for (std::size_t k = 0; k + 1 < edges.size(); ++k) {
        const std::uint32_t width = edges[k + 1] - edges[k];
        std::uint32_t& shortest = levels[edges[k]] ? s.ShortestHigh : s.ShortestLow;
        std::uint32_t& longest = levels[edges[k]] ? s.LongestHigh : s.LongestLow;
        shortest = shortest == 0 ? width : std::min(shortest, width);
        longest = std::max(longest, width);
    }
    return s;
}

struct THandCase {
    std::vector<std::uint8_t> Bytes;
    TBlockSummary Expected;
};

class SummaryByHand : public ::testing::TestWithParam<THandCase> {};

} // namespace

namespace capture {
// gtest prints a summary that differs field by field.
static void PrintTo(const TBlockSummary& s, std::ostream* out) {
    *out << "levels " << int(s.StartLevel) << "->" << int(s.EndLevel) << " rising " << s.RisingEdges
         << " falling " << s.FallingEdges << " high " << s.ShortestHigh << ".." << s.LongestHigh
         << " low " << s.ShortestLow << ".." << s.LongestLow << " lead " << s.LeadRun << " tail "
         << s.TailRun;
}
} // namespace capture

// The earliest sample is bit 7; the border samples belong to the lead and tail runs, not to a
// pulse.
TEST_P(SummaryByHand, CountsWhatTheFormatSays) {
    const THandCase& c = GetParam();
    EXPECT_EQ(Summarise(c.Bytes.data(), c.Bytes.size()), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SummaryByHand,
    ::testing::Values(
        // start, end, rising, falling, high shortest/longest, low shortest/longest, lead, tail
        THandCase{{0x00}, {0, 0, 0, 0, 0, 0, 0, 0, 8, 8}},
        THandCase{{0xFF, 0xFF}, {1, 1, 0, 0, 0, 0, 0, 0, 16, 16}},
        THandCase{{0x0F}, {0, 1, 1, 0, 0, 0, 0, 0, 4, 4}},
        THandCase{{0x80}, {1, 0, 0, 1, 0, 0, 0, 0, 1, 7}},
        THandCase{{0xF0, 0x0F}, {1, 1, 1, 1, 0, 0, 8, 8, 4, 4}},
        THandCase{{0xAA}, {1, 0, 3, 4, 1, 1, 1, 1, 1, 1}},
        THandCase{{0x01, 0x80, 0x00, 0x3C}, {0, 0, 2, 2, 2, 4, 17, 17, 7, 2}}));

TEST(Summary, AgreesWithEverySampleCountedOneByOne) {
    std::mt19937 random(24);
    // From a busy line (every bit random) to a quiet one (a flip every few hundred samples).
    for (int flipOneIn : {1, 3, 40, 700}) {
        for (int round = 0; round < 40; ++round) {
            std::vector<std::uint8_t> bytes(1 + random() % 300);
            int level = static_cast<int>(random() % 2);
            for (std::uint8_t& byte : bytes)
                for (int k = 7; k >= 0; --k) {
                    if (random() % static_cast<unsigned>(flipOneIn) == 0)
                        level ^= 1;
                    byte = static_cast<std::uint8_t>(byte | level << k);
                }
            EXPECT_EQ(Summarise(bytes.data(), bytes.size()), BruteForce(bytes))
                << "flip one in " << flipOneIn << ", round " << round;
        }
    }
}
