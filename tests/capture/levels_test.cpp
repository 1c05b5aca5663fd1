#include "capture/levels.h"
#include "capture/reader.h"
#include "recording_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace capture;
using namespace capture_test;

namespace {

// Long runs of equal samples with an odd byte now and then, so that most blocks have edges only
// near a few places and their lead and tail runs matter.
std::vector<std::uint8_t> SparseBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    std::uint8_t run = 0;
    for (std::uint8_t& byte : bytes) {
        if (random() % 97 == 0)
            run = static_cast<std::uint8_t>(~run);
        byte = random() % 151 == 0 ? static_cast<std::uint8_t>(random()) : run;
    }
    return bytes;
}

struct TCase {
    const char* Name;
    bool Sparse;
    std::vector<std::size_t> Sizes;     // block sizes in bytes
    std::optional<std::size_t> Damaged; // the block whose payload is spoilt
};

std::ostream& operator<<(std::ostream& out, const TCase& c) {
    return out << c.Name;
}

// Every sample's level from the reader's ReadLevels, block by block, holes as Nothing.
std::vector<TLevel> BruteLevels(const TRecordingReader& reader) {
    std::vector<TLevel> levels(reader.TotalSamples(), TLevel::Nothing);
    for (const TBlockInfo& block : reader.Blocks()) {
        const std::vector<std::uint8_t> own =
            reader.ReadLevels(block.FirstSample, block.SampleCount);
        for (std::size_t i = 0; i < own.size(); ++i)
            levels[block.FirstSample + i] = own[i] ? TLevel::High : TLevel::Low;
    }
    return levels;
}

TColumn BruteColumn(const std::vector<TLevel>& levels, std::uint64_t from, std::uint64_t to) {
    const auto [low, high] = std::minmax_element(levels.begin() + from, levels.begin() + to);
    return {levels[from], levels[to - 1], *low, *high};
}

class Levels : public ::testing::TestWithParam<TCase> {
protected:
    void SetUp() override {
        const TCase& c = GetParam();
        const std::size_t size = std::accumulate(c.Sizes.begin(), c.Sizes.end(), std::size_t{0});
        bytes_ = c.Sparse ? SparseBytes(size, 11) : RandomBytes(size, 11);
        path_ = folder_.Path("levels.tlr");
        WriteRecording(path_, bytes_, c.Sizes);
        if (c.Damaged) {
            std::string content = Content(path_);
            const TRecordingReader intact(path_);
            content[intact.Blocks()[*c.Damaged].Offset + kBlockHeaderSize + 1] ^= 0x20;
            Write(path_, content);
        }
    }

    // Border sets that cut blocks anywhere, at their edges and one sample either side, and
    // columns of one sample.
    std::vector<std::vector<std::uint64_t>> BorderSets(const TRecordingReader& reader) const {
        const std::uint64_t total = reader.TotalSamples();
        std::vector<std::vector<std::uint64_t>> sets;
        for (std::size_t columns : {1, 2, 7, 64, 999})
            sets.push_back(EvenBorders(0, total, columns));
        sets.push_back(EvenBorders(total / 3, total / 3 + 5, 5));
        std::set<std::uint64_t> edges{0, total};
        for (const TBlockInfo& block : reader.Blocks())
            for (std::int64_t d : {-1, 0, 1}) {
                const std::int64_t at = static_cast<std::int64_t>(block.FirstSample) + d;
                if (at > 0 && at < static_cast<std::int64_t>(total))
                    edges.insert(static_cast<std::uint64_t>(at));
            }
        sets.emplace_back(edges.begin(), edges.end());
        std::mt19937_64 random(3);
        for (int round = 0; round < 20; ++round) {
            std::set<std::uint64_t> cuts;
            const std::uint64_t from = random() % total, to = from + 1 + random() % (total - from);
            cuts.insert(from);
            cuts.insert(to);
            for (int k = 0; k < 40; ++k)
                cuts.insert(from + random() % (to - from));
            sets.emplace_back(cuts.begin(), cuts.end());
        }
        return sets;
    }

    TTempFolder folder_;
    std::string path_;
    std::vector<std::uint8_t> bytes_;
};

TEST_P(Levels, ColumnsAndSamplesMatchTheSamplesReadOneByOne) {
    const TRecordingReader reader(path_);
    const TRecordingLevels levels(reader, 40'000);
    const std::vector<TLevel> brute = BruteLevels(reader);
    ASSERT_EQ(levels.TotalSamples(), brute.size());
    for (const std::vector<std::uint64_t>& borders : BorderSets(reader)) {
        const std::vector<TColumn> columns = levels.Columns(borders);
        ASSERT_EQ(columns.size(), borders.size() - 1);
        for (std::size_t i = 0; i < columns.size(); ++i)
            ASSERT_EQ(columns[i], BruteColumn(brute, borders[i], borders[i + 1]))
                << "column " << borders[i] << ".." << borders[i + 1];
        const std::uint64_t from = borders.front(), count = borders.back() - from;
        if (count <= 200'000) {
            ASSERT_EQ(levels.Samples(from, count),
                      std::vector<TLevel>(brute.begin() + from, brute.begin() + from + count))
                << "samples from " << from;
        }
    }
    EXPECT_LE(levels.CachedBytes(), 40'000u + 65536u + 1024u);
}

using DamagedLevels = Levels;

TEST_P(DamagedLevels, TheDamagedBlockIsNothingAndReportedOnce) {
    const TCase& c = GetParam();
    // Believing the index, the damage shows only once the block's bytes are read.
    const TRecordingReader reader(path_, TRecordingReader::TCheck::Index);
    ASSERT_TRUE(reader.BadBlocks().empty());
    const TRecordingLevels levels(reader);
    const TBlockInfo block = reader.Blocks()[*c.Damaged];
    EXPECT_TRUE(levels.Damaged().empty());
    for (int twice = 0; twice < 2; ++twice) {
        const std::vector<TLevel> samples = levels.Samples(block.FirstSample, block.SampleCount);
        EXPECT_EQ(std::count(samples.begin(), samples.end(), TLevel::Nothing),
                  static_cast<std::ptrdiff_t>(block.SampleCount));
    }
    const std::vector<std::uint64_t> inside{block.FirstSample + 1,
                                            block.FirstSample + block.SampleCount - 1};
    EXPECT_EQ(levels.Columns(inside).front(),
              (TColumn{TLevel::Nothing, TLevel::Nothing, TLevel::Nothing, TLevel::Nothing}));
    const std::vector<TBadBlock> damaged = levels.Damaged();
    ASSERT_EQ(damaged.size(), 1u);
    EXPECT_EQ(damaged.front().Number, *c.Damaged);
    EXPECT_EQ(damaged.front().FirstSample, block.FirstSample);
    EXPECT_DOUBLE_EQ(damaged.front().Seconds,
                     block.FirstSample * reader.Header().SamplePeriodSeconds());
}

std::string CaseName(const ::testing::TestParamInfo<TCase>& c) {
    return c.param.Name;
}

const TCase kHoleCases[] = {
    {"sparse_with_a_hole", true, {4000, 4000, 4000, 4000, 300}, 2},
    {"random_with_a_hole_first", false, {1000, 2000, 1500}, 0},
};

INSTANTIATE_TEST_SUITE_P(
    Recordings, Levels,
    ::testing::Values(
        TCase{"random_blocks_of_all_sizes", false, {700, 1, 64, 65, 2000, 3, 900}, std::nullopt},
        TCase{"sparse_blocks", true, {5000, 4096, 8000, 129, 6000, 7}, std::nullopt},
        TCase{"one_block", false, {3000}, std::nullopt},
        TCase{"many_small_blocks", true, std::vector<std::size_t>(300, 50), std::nullopt},
        kHoleCases[0], kHoleCases[1]),
    CaseName);
INSTANTIATE_TEST_SUITE_P(Recordings, DamagedLevels, ::testing::ValuesIn(kHoleCases), CaseName);

TEST(LevelsBorders, EvenBordersSplitAsEquallyAsWholeSamplesAllow) {
    EXPECT_EQ(EvenBorders(10, 20, 4), (std::vector<std::uint64_t>{10, 12, 15, 17, 20}));
    EXPECT_EQ(EvenBorders(0, 3, 10), (std::vector<std::uint64_t>{0, 1, 2, 3}));
    EXPECT_EQ(EvenBorders(5, 5, 10), (std::vector<std::uint64_t>{5}));
    const std::uint64_t day = 8'847'360'000;
    const std::vector<std::uint64_t> wide = EvenBorders(0, day, 1920);
    EXPECT_EQ(wide.back(), day);
    EXPECT_EQ(wide[960], day / 2);
}

TEST(LevelsBorders, BordersOutOfOrderOrRangeAreRefused) {
    TTempFolder folder;
    const std::string path = folder.Path("short.tlr");
    WriteRecording(path, RandomBytes(7'000, 5), std::vector<std::size_t>(7, 1'000));
    const TRecordingReader reader(path);
    const TRecordingLevels levels(reader);
    EXPECT_THROW(levels.Columns(std::vector<std::uint64_t>{3, 3, 9}), std::invalid_argument);
    EXPECT_THROW(levels.Columns(std::vector<std::uint64_t>{9, 3}), std::invalid_argument);
    EXPECT_THROW(levels.Columns(std::vector<std::uint64_t>{3, 56'001}), std::out_of_range);
    EXPECT_THROW(levels.Samples(55'999, 2), std::out_of_range);
    EXPECT_EQ(levels.Samples(55'999, 1).size(), 1u);
}

// Threads drawing at once share the cache; each must get what it would get alone.
TEST(LevelsThreads, ConcurrentCallersGetTheSameColumns) {
    TTempFolder folder;
    const std::string path = folder.Path("shared.tlr");
    const std::vector<std::uint8_t> bytes = RandomBytes(60'000, 9);
    WriteRecording(path, bytes, std::vector<std::size_t>(30, 2000));
    const TRecordingReader reader(path);
    const TRecordingLevels levels(reader, 10'000);
    const std::vector<TLevel> brute = BruteLevels(reader);
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                const std::uint64_t from = static_cast<std::uint64_t>(t * 997 + round * 4001);
                const auto borders = EvenBorders(from, from + 150'000, 300 + t);
                const std::vector<TColumn> columns = levels.Columns(borders);
                for (std::size_t i = 0; i < columns.size(); ++i)
                    mismatches[t] += columns[i] != BruteColumn(brute, borders[i], borders[i + 1]);
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

} // namespace
