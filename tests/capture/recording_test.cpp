#include "capture/reader.h"
#include "capture/writer.h"
#include "files/io_error.h"
#include "recording_files.h"

#include "support/in_child.h"

#include <gtest/gtest.h>

#include <csignal>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/resource.h>

using namespace capture;
using namespace capture_test;

namespace {

const std::size_t kHeaderSize = EncodeHeader(SampleHeader()).size();

// The blocks the reader found must hold exactly `bytes`, each with the summary of its own bytes.
void ExpectHolds(const TRecordingReader& reader, const std::vector<std::uint8_t>& bytes) {
    ASSERT_EQ(reader.TotalSamples(), 8 * bytes.size());
    EXPECT_EQ(reader.ReadBytes(0, bytes.size()), bytes);
    for (const TBlockInfo& block : reader.Blocks()) {
        const std::uint8_t* own = bytes.data() + block.FirstSample / 8;
        EXPECT_EQ(block.Summary, Summarise(own, block.SampleCount / 8))
            << "at " << block.FirstSample;
    }
}

std::string ErrorText(const std::string& path) {
    try {
        TRecordingReader reader(path);
    } catch (const files::EInOutError& e) {
        return e.Text();
    }
    return "opened";
}

} // namespace

TEST(Recording, RoundTripWithBlocksEndedAtRandom) {
    TTempFolder folder;
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        // Some rounds hold blocks far over the largest, which the writer splits.
        const std::size_t largest = round % 4 == 0 ? 200'000 : 3000;
        std::vector<std::size_t> sizes(1 + random() % 12);
        for (std::size_t& size : sizes)
            size = random() % largest;
        const std::vector<std::uint8_t> bytes =
            RandomBytes(std::accumulate(sizes.begin(), sizes.end(), std::size_t{0}), round);
        const std::string path = folder.Path("round.tlr");
        WriteRecording(path, bytes, sizes);

        const TRecordingReader reader(path);
        EXPECT_TRUE(reader.UsedIndex());
        EXPECT_EQ(reader.Header(), SampleHeader());
        EXPECT_TRUE(reader.BadBlocks().empty());
        ExpectHolds(reader, bytes);
        for (const TBlockInfo& block : reader.Blocks())
            EXPECT_LE(block.SampleCount, 8 * kMaxBlockBytes);
        if (bytes.empty())
            continue;
        const std::uint64_t first = random() % reader.TotalSamples();
        const std::size_t count = random() % (reader.TotalSamples() - first);
        const std::vector<std::uint8_t> levels = reader.ReadLevels(first, count);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t s = first + i;
            ASSERT_EQ(levels[i], (bytes[s / 8] >> (7 - s % 8)) & 1) << "sample " << s;
        }
    }
}

TEST(Recording, EarliestSampleIsBitSevenAndPeriodFollowsTheDivider) {
    TTempFolder folder;
    WriteRecording(folder.Path("bits.tlr"), {0x80, 0x01}, {2});
    const TRecordingReader reader(folder.Path("bits.tlr"));
    EXPECT_EQ(reader.ReadLevels(0, 16),
              (std::vector<std::uint8_t>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_DOUBLE_EQ(reader.Header().SamplePeriodSeconds(), 108.0 / 11059200.0);
    EXPECT_THROW(reader.ReadLevels(10, 7), std::out_of_range);
}

// A recording cut at every byte: before the header's end it is refused; after, it opens with every
// whole block before the cut and nothing else.
TEST(Recording, CutAtEveryByteOpensUpToTheLastWholeBlock) {
    TTempFolder folder;
    const std::vector<std::size_t> sizes = {10, 7, 13};
    const std::vector<std::uint8_t> bytes = RandomBytes(30, 3);
    WriteRecording(folder.Path("whole.tlr"), bytes, sizes);
    const std::string whole = Content(folder.Path("whole.tlr"));
    const std::string path = folder.Path("cut.tlr");
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        Write(path, whole.substr(0, cut));
        if (cut < kHeaderSize) {
            EXPECT_EQ(ErrorText(path), "Invalid recording file") << "cut at " << cut;
            continue;
        }
        std::size_t end = kHeaderSize;
        std::size_t kept = 0;
        for (std::size_t size : sizes) {
            if (end + kBlockHeaderSize + size > cut)
                break;
            end += kBlockHeaderSize + size;
            kept += size;
        }
        const TRecordingReader reader(path);
        EXPECT_FALSE(reader.UsedIndex()) << "cut at " << cut;
        EXPECT_TRUE(reader.BadBlocks().empty());
        ExpectHolds(reader, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + kept));
    }
}

// The index's bytes at the end of a file of `blocks` blocks.
std::size_t IndexSize(std::size_t blocks) {
    return kIndexHeadSize + kIndexEntrySize * blocks + 4 + kTrailerSize;
}

// A damaged block is reported with its place and time and left out; the others read as written,
// whether found through the index or by a scan. Trusting the index, the damage shows when the
// block's samples are read.
TEST(Recording, DamagedBlockIsReportedAndSkipped) {
    TTempFolder folder;
    const std::vector<std::size_t> sizes = {40, 25, 60, 33};
    const std::vector<std::uint8_t> bytes = RandomBytes(158, 5);
    WriteRecording(folder.Path("whole.tlr"), bytes, sizes);
    const std::string whole = Content(folder.Path("whole.tlr"));
    const std::string path = folder.Path("damaged.tlr");
    std::size_t offset = kHeaderSize;
    std::size_t firstByte = 0;
    for (std::size_t k = 0; k < sizes.size(); ++k) {
        for (const bool withIndex : {true, false}) {
            std::string damaged = withIndex ? whole : whole.substr(0, whole.size() - IndexSize(4));
            damaged[offset + kBlockHeaderSize + sizes[k] / 2] ^= 0x10;
            Write(path, damaged);
            const TRecordingReader reader(path);
            EXPECT_EQ(reader.UsedIndex(), withIndex);
            ASSERT_EQ(reader.BadBlocks().size(), 1u) << "block " << k;
            const TBadBlock& bad = reader.BadBlocks().front();
            EXPECT_EQ(bad.Number, k);
            EXPECT_EQ(bad.FirstSample, 8 * firstByte);
            EXPECT_EQ(bad.SampleCount, 8 * sizes[k]);
            EXPECT_DOUBLE_EQ(bad.Seconds, 8.0 * firstByte * 108 / 11059200);
            ASSERT_EQ(reader.Blocks().size(), sizes.size() - 1);
            for (const TBlockInfo& block : reader.Blocks()) {
                const auto from = bytes.begin() + static_cast<long>(block.FirstSample / 8);
                const auto size = static_cast<long>(block.SampleCount / 8);
                EXPECT_EQ(reader.ReadBytes(block.FirstSample / 8, block.SampleCount / 8),
                          std::vector<std::uint8_t>(from, from + size));
            }
            EXPECT_THROW(reader.ReadBytes(firstByte, 1), files::EInOutError);
        }
        Write(path, whole);
        std::string damaged = whole;
        damaged[offset + kBlockHeaderSize] ^= 0x01;
        Write(path, damaged);
        const TRecordingReader trusting(path, TRecordingReader::TCheck::Index);
        EXPECT_TRUE(trusting.BadBlocks().empty());
        EXPECT_EQ(trusting.TotalSamples(), 8 * bytes.size());
        try {
            trusting.ReadBytes(0, bytes.size());
            ADD_FAILURE() << "read a damaged block " << k;
        } catch (const files::EInOutError& e) {
            EXPECT_EQ(e.Text(), "Damaged block");
        }
        offset += kBlockHeaderSize + sizes[k];
        firstByte += sizes[k];
    }
}

// An index that is missing, cut, garbled or disagrees with the blocks: the blocks are found by
// scanning, all of them.
TEST(Recording, BadIndexFallsBackToScanning) {
    TTempFolder folder;
    const std::vector<std::size_t> sizes = {12, 30, 5};
    const std::vector<std::uint8_t> bytes = RandomBytes(47, 9);
    WriteRecording(folder.Path("whole.tlr"), bytes, sizes);
    const std::string whole = Content(folder.Path("whole.tlr"));
    const std::size_t index = whole.size() - IndexSize(3);
    const std::size_t trailer = whole.size() - kTrailerSize;
    // Each garbles one byte; the index's CRC is worked out again after it, so that the reader has
    // to see the fault in what the index says.
    struct TGarble {
        const char* What;
        std::size_t At;
        bool NewCrc;
    };
    const TGarble garbles[] = {
        {"trailer marker", whole.size() - 1, false},
        {"index offset", trailer, false},
        {"block count in the trailer", trailer + 8, false},
        {"index marker", index, true},
        {"block count in the index", index + 4, true},
        {"index CRC", trailer - 1, false},
        {"an entry's offset", index + kIndexHeadSize + kIndexEntrySize, true},
        {"an entry's first sample", index + kIndexHeadSize + kIndexEntrySize + 12, true},
        {"an entry's length", index + kIndexHeadSize + 8, true},
    };
    const std::string path = folder.Path("garbled.tlr");
    for (const TGarble& g : garbles) {
        std::string garbled = whole;
        garbled[g.At] ^= 0x04;
        if (g.NewCrc) {
            auto* data = reinterpret_cast<std::uint8_t*>(garbled.data());
            PutU32(data + trailer - 4, Crc32(data + index, trailer - 4 - index));
        }
        Write(path, garbled);
        const TRecordingReader reader(path);
        EXPECT_FALSE(reader.UsedIndex()) << g.What;
        EXPECT_TRUE(reader.BadBlocks().empty()) << g.What;
        ExpectHolds(reader, bytes);
    }
}

// The disk fills up: the writer says so, the file is cut back to its last whole block and opens
// with all of them. A file-size limit fails the writes as a full disk does.
TEST(Recording, FullDiskLeavesEveryWholeBlock) {
    TTempFolder folder;
    const std::string path = folder.Path("full.tlr");
    const std::vector<std::uint8_t> bytes = RandomBytes(3000, 11);
    const std::string said = trace_test::InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small{20'000, 20'000};
        ::setrlimit(RLIMIT_FSIZE, &small);
        TRecordingWriter writer(path, SampleHeader());
        int blocks = 0;
        try {
            for (;; ++blocks) {
                writer.Append(bytes.data(), bytes.size());
                writer.EndBlock();
            }
        } catch (const files::EInOutError& e) {
            std::string again;
            try {
                writer.Close();
            } catch (const files::EInOutError& later) {
                again = later.Text();
            }
            return std::to_string(blocks) + " " + e.Text() + " / " + again;
        }
    });
    const std::size_t blocks = (20'000 - kHeaderSize) / (kBlockHeaderSize + bytes.size());
    EXPECT_EQ(said, std::to_string(blocks) + " Disk is full / Disk is full");
    EXPECT_EQ(Content(path).size(), kHeaderSize + blocks * (kBlockHeaderSize + bytes.size()));
    const TRecordingReader reader(path);
    std::vector<std::uint8_t> expected;
    for (std::size_t b = 0; b < blocks; ++b)
        expected.insert(expected.end(), bytes.begin(), bytes.end());
    ExpectHolds(reader, expected);
}

// A writer killed mid-block: the file opens with the blocks it ended before.
TEST(Recording, KilledWriterLeavesItsEndedBlocks) {
    TTempFolder folder;
    const std::string path = folder.Path("killed.tlr");
    const std::vector<std::uint8_t> bytes = RandomBytes(5000, 13);
    const std::string said = trace_test::InChild([&] {
        TRecordingWriter writer(path, SampleHeader());
        writer.Append(bytes.data(), 1200);
        writer.EndBlock();
        writer.Append(bytes.data() + 1200, 2000);
        writer.EndBlock();
        writer.Sync();
        writer.Append(bytes.data() + 3200, 1800);
        std::raise(SIGKILL);
        return std::string("not killed");
    });
    EXPECT_EQ(said, "signal 9");
    const TRecordingReader reader(path);
    EXPECT_FALSE(reader.UsedIndex());
    ExpectHolds(reader, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 3200));
}

// Files that are no recording, or a damaged one's header: a clear error.
TEST(Recording, BadHeadersAreRefusedWithTheirReason) {
    TTempFolder folder;
    WriteRecording(folder.Path("good.tlr"), RandomBytes(10, 1), {10});
    const std::string good = Content(folder.Path("good.tlr"));
    struct TCase {
        const char* What;
        std::string Bytes;
        const char* Detail;
    };
    std::string otherVersion = good;
    otherVersion[8] = 2;
    std::string longText = good;
    longText[40] = static_cast<char>(0xFF);
    std::string badCrc = good;
    badCrc[20] ^= 1;
    const TCase cases[] = {
        {"empty", "", "cut short"},
        {"text", "time,level\n0,1\n" + std::string(100, ' '), "not a recording file"},
        {"cut header", good.substr(0, kHeaderSize - 1), "cut short"},
        {"newer version", otherVersion, "format version 2"},
        {"absurd text length", longText, "length"},
        {"damaged header", badCrc, "CRC"},
    };
    const std::string path = folder.Path("bad.tlr");
    for (const TCase& c : cases) {
        Write(path, c.Bytes);
        try {
            TRecordingReader reader(path);
            ADD_FAILURE() << "opened " << c.What;
        } catch (const files::EInOutError& e) {
            EXPECT_EQ(e.Text(), "Invalid recording file") << c.What;
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << c.What;
            EXPECT_NE(std::string(e.what()).find(c.Detail), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(ErrorText(folder.Path("none.tlr")), "File not found");
    EXPECT_EQ(ErrorText(folder.Path("")), "File access denied");
}
