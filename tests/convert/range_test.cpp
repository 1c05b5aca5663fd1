// A recording's range written as the trace files of other programs: which samples a range takes,
// what each file holds, and what a damaged block or a cancel leaves behind.

#include "capture/recording_files.h"
#include "convert/range.h"
#include "convert/sigrok.h"
#include "files/io_error.h"
#include "numbers/number_format.h"
#include "trace/csv.h"
#include "trace/data_file.h"
#include "trace/vcd.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using namespace capture_test;

namespace {

// The sample recording's period, (6 × 16 + 12) / 11059200 s: a binary fraction of a millisecond,
// so that every time is exact.
constexpr double PeriodMs = 0.009765625;

std::uint8_t LevelOf(const std::vector<std::uint8_t>& bytes, std::uint64_t sample) {
    return (bytes[sample / 8] >> (7 - sample % 8)) & 1u;
}

std::size_t FilesIn(const std::string& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                  std::filesystem::directory_iterator()));
}

TEST(ConvertRange, TakesTheSamplesNearestTheTimesWithinTheRecording) {
    TTempFolder folder;
    WriteRecording(folder.Path("r.tlr"), RandomBytes(100, 1), {100}); // 800 samples, 7.8125 ms
    const capture::TRecordingReader reader(folder.Path("r.tlr"));
    struct TCase {
        std::optional<double> From, To;
        std::uint64_t First, Last;
        std::string Error;
    };
    const std::vector<TCase> cases{
        {{}, {}, 0, 799, ""},
        {1.0, {}, 102, 799, ""},    // 102.4 sample periods
        {{}, 0.5, 0, 51, ""},       // 51.2
        {0.0097656, 0.0097656, 1, 1, ""}, // a time as the window shows it
        {7.8, 1e9, 799, 799, ""}, // 798.72, and the end
        {7.9, {}, 0, 0, "--from 7.9 ms lies beyond its end: the recording holds 800 samples, "
                        "7.8125 ms"},
        {2.0, 1.0, 0, 0, "--to comes before --from"},
    };
    for (const TCase& c : cases) {
        const convert::TRangeChoice choice = convert::ChooseRange(reader, c.From, c.To);
        EXPECT_EQ(choice.Error, c.Error);
        if (!c.Error.empty())
            continue;
        ASSERT_TRUE(choice.Range) << c.First;
        EXPECT_EQ(choice.Range->First, c.First);
        EXPECT_EQ(choice.Range->Last, c.Last);
    }
}

// Over a megabyte of levels, so that the range is read in several pieces.
class ConvertFormat : public ::testing::TestWithParam<const char*> {};

TEST_P(ConvertFormat, HoldsTheRangesSamplesAtTheirTimesFromTheRecordingsStart) {
    TTempFolder folder;
    const std::vector<std::uint8_t> bytes = RandomBytes(200000, 2);
    WriteRecording(folder.Path("r.tlr"), bytes, {bytes.size()});
    const capture::TRecordingReader reader(folder.Path("r.tlr"));
    const convert::TSampleRange range{123457, 1500003};
    const std::string out = folder.Path(GetParam());
    ASSERT_TRUE(convert::WriteRange(reader, range, out, *convert::FormatForName(out)));

    std::vector<double> times, levels;
    for (std::uint64_t s = range.First; s <= range.Last; ++s) {
        times.push_back(static_cast<double>(s) * PeriodMs);
        levels.push_back(LevelOf(bytes, s));
    }
    const std::string written = Content(out);
    if (out.ends_with(".vcd")) {
        const trace::TVcdHeaderRead header = trace::ReadVcdVariables(written);
        ASSERT_EQ(header.Variables.size(), 1u);
        const trace::TVcdSignalRead read =
            trace::ReadVcdSignal(written, header.Variables[0].Code, 1 << 30);
        ASSERT_FALSE(read.Error);
        const trace::TVcdTrace trace = trace::VcdToTrace(read.Signal, 1 << 30);
        EXPECT_TRUE(trace.Levels == levels);
        ASSERT_FALSE(trace.Times.empty());
        EXPECT_DOUBLE_EQ(trace.Times.front(), times.front());
        EXPECT_NE(written.find("samples 123457 to 1500003 of a recording of 1600000 samples"),
                  std::string::npos);
    } else {
        const std::string expected =
            out.ends_with(".csv")
                ? trace::FormatCsv(times, levels)
                : trace::FormatDataFile(times, levels, numbers::DataFileDecimalPoint());
        EXPECT_TRUE(written == expected) << written.substr(0, 80);
    }
    EXPECT_EQ(FilesIn(folder.Path("")), 2u) << "a temporary file left behind";
}

INSTANTIATE_TEST_SUITE_P(Kinds, ConvertFormat, ::testing::Values("o.csv", "o.txt", "o.vcd"),
                         [](const auto& kind) { return std::string(kind.param).substr(2); });

// A trace file cannot leave samples out: a range over a hole is refused before a byte is written,
// and the message says which samples to leave out. A cancel leaves the file as it was too.
TEST(ConvertRange, AHoleOrACancelLeavesTheFileAsItWas) {
    TTempFolder folder;
    const std::string path = folder.Path("r.tlr");
    WriteRecording(path, RandomBytes(3000, 3), {1000, 1000, 1000});
    std::string damaged = Content(path);
    const std::size_t second = EncodeHeader(SampleHeader()).size() + capture::kBlockHeaderSize +
                               1000 + capture::kBlockHeaderSize;
    damaged[second + 500] ^= 0x04;
    Write(path, damaged);
    const capture::TRecordingReader reader(path);
    ASSERT_EQ(reader.BadBlocks().size(), 1u);
    const std::string before = "what it held\n";
    for (const char* name : {"o.csv", "o.txt", "o.vcd", "o.sr"}) {
        SCOPED_TRACE(name);
        const std::string out = folder.Path(name);
        Write(out, before);
        const auto format = *convert::FormatForName(out);
        try {
            convert::WriteRange(reader, {7000, 9000}, out, format);
            ADD_FAILURE() << "written over a hole";
        } catch (const files::EInOutError& error) {
            EXPECT_EQ(error.Text(), "Damaged block");
            EXPECT_NE(std::string(error.what())
                          .find("samples 8000 to 15999 (78.125 ms to 156.25 ms) are in a damaged "
                                "block"),
                      std::string::npos)
                << error.what();
        }
        EXPECT_EQ(Content(out), before);
        EXPECT_FALSE(convert::WriteRange(reader, {0, 7999}, out, format,
                                         [](std::uint64_t, std::uint64_t) { return false; }));
        EXPECT_EQ(Content(out), before) << "cancelled";
        EXPECT_TRUE(convert::WriteRange(reader, {16000, 23999}, out, format))
            << "the part after the hole";
        EXPECT_NE(Content(out), before);
    }
    EXPECT_EQ(FilesIn(folder.Path("")), 5u) << "a temporary file left behind";
}

TEST(ConvertRange, TheFormatIsTheExtensionsWhateverItsCase) {
    EXPECT_EQ(convert::FormatForName("a.SR"), convert::TFormat::Sigrok);
    EXPECT_EQ(convert::FormatForName("a.Vcd"), convert::TFormat::Vcd);
    EXPECT_EQ(convert::FormatForName("a.txt"), convert::TFormat::DataFile);
    EXPECT_EQ(convert::FormatForName("a.csv"), convert::TFormat::Csv);
    EXPECT_FALSE(convert::FormatForName("a.tlr"));
    EXPECT_FALSE(convert::FormatForName("dir.vcd/a"));
}

// sigrok counts its rate in whole hertz.
TEST(ConvertSigrok, TheMetadataNamesOneChannelAtItsRate) {
    EXPECT_EQ(convert::SigrokMetadata(102400.0),
              "[global]\nsigrok version=0.5.2\n\n[device 1]\ncapturefile=logic-1\n"
              "total probes=1\nsamplerate=102400 Hz\nprobe1=signal\nunitsize=1\n");
    EXPECT_NE(convert::SigrokMetadata(11059200.0 / 114).find("samplerate=97011 Hz\n"),
              std::string::npos);
}

} // namespace
