// The file talvir-record streams against the whole-file formatters the window's exports use: the
// same bytes for the same samples, and nothing under the file's name before the recording ends.

#include "acquisition/sweep.h"
#include "capture/reader.h"
#include "acquisition/timing.h"
#include "numbers/number_format.h"
#include "record/options.h"
#include "record/output.h"
#include "support/real_locale.h"
#include "trace/csv.h"
#include "trace/data_file.h"
#include "trace/vcd.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs of a few samples, as a busy signal gives them, now and then a long one.
std::vector<double> Levels(std::size_t count) {
    std::mt19937 random(20261208);
    std::vector<double> levels;
    double level = 1;
    while (levels.size() < count) {
        const std::size_t run = random() % 100 == 0 ? random() % 200 + 1 : random() % 4 + 1;
        levels.insert(levels.end(), std::min(run, count - levels.size()), level);
        level = 1 - level;
    }
    return levels;
}

struct TKind {
    const char* Name;
    bool Russian; // a data file under a locale with the decimal comma
};

class StreamedOutput : public ::testing::TestWithParam<TKind> {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/talvir-output-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        options_.Out = dir_ + "/" + GetParam().Name;
        options_.Output = *record::OutputKindForName(options_.Out);
        options_.PeriodMs = acquisition::DividerPeriod(acquisition::MinDivider);
        recording_.PeriodMs = acquisition::ConfirmedPeriod(options_.PeriodMs);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::size_t FilesInFolder() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir_),
                                                      std::filesystem::directory_iterator()));
    }

    // The samples fed as sweeps of 103, the last one cut, as the session hands them on.
    void Feed(record::TOutput& output, const std::vector<double>& levels) {
        constexpr std::size_t Sweep = 103;
        for (std::size_t at = 0; at < levels.size(); at += Sweep) {
            const std::size_t count = std::min(Sweep, levels.size() - at);
            output.Add(std::span<const double>(levels).subspan(at, count));
            if (count == Sweep)
                ++recording_.CompletedSweeps;
            else
                recording_.LastSweepCut = true;
        }
        recording_.Samples = levels.size();
    }

    std::string dir_;
    record::TRecordOptions options_;
    record::TRecording recording_;
};

// Several flushes' worth of text, so the pieces meet at arbitrary points.
constexpr std::size_t ManySamples = 500001;

TEST_P(StreamedOutput, WritesTheBytesOfTheWholeFileFormatter) {
    std::optional<test_support::TRealLocale> locale;
    if (GetParam().Russian)
        locale.emplace(QLocale(QLocale::Russian, QLocale::Russia));
    const std::vector<double> levels = Levels(ManySamples);
    std::vector<double> times;
    for (std::size_t j = 0; j < levels.size(); ++j)
        times.push_back(static_cast<double>(static_cast<long double>(j) * recording_.PeriodMs));
    {
        record::TOutput output(options_);
        Feed(output, levels);
        output.Finish(recording_);
    }
    const std::string written = ReadText(options_.Out);
    std::string expected;
    switch (options_.Output) {
    case record::TOutputKind::DataFile:
        expected = trace::FormatDataFile(times, levels, numbers::DataFileDecimalPoint());
        EXPECT_NE(written.find(GetParam().Russian ? "0,0097656 1" : "0.0097656 1"),
                  std::string::npos);
        break;
    case record::TOutputKind::Csv:
        expected = trace::FormatCsv(times, levels);
        break;
    case record::TOutputKind::Vcd: {
        // The date is the moment of writing: taken from the file, all else from the recording.
        const std::size_t from = written.find("$date\n  ") + 8;
        ASSERT_NE(from, std::string::npos + 8);
        const std::string date = written.substr(from, written.find('\n', from) - from);
        expected = trace::FormatVcd(
            times, levels,
            {date, "Тальвир " TALVIR_VERSION, static_cast<double>(recording_.PeriodMs),
             acquisition::SweepText(options_.Mode, recording_.CompletedSweeps + 1,
                                    options_.DurationS, levels.size()),
             ""});
        EXPECT_NE(written.find(" periodic sweeps of 0.001 s, 500001 samples"), std::string::npos);
        break;
    }
    case record::TOutputKind::Png:
    case record::TOutputKind::Recording:
        FAIL();
    }
    EXPECT_GT(written.size(), std::size_t{1} << 20) << "more than one piece";
    EXPECT_TRUE(written == expected) << "first difference at byte "
                                     << std::mismatch(written.begin(), written.end(),
                                                      expected.begin(), expected.end())
                                                .first -
                                            written.begin();
    EXPECT_EQ(FilesInFolder(), 1u) << "a temporary file left behind";
}

// Killed or failed half way, the run leaves the file as it was: the samples so far are beside it.
TEST_P(StreamedOutput, TheNameKeepsWhatItHeldUntilTheEnd) {
    std::ofstream(options_.Out) << "what it held\n";
    {
        record::TOutput output(options_);
        Feed(output, Levels(ManySamples));
        EXPECT_EQ(ReadText(options_.Out), "what it held\n");
        EXPECT_EQ(FilesInFolder(), 2u) << "the new content beside the file";
    }
    EXPECT_EQ(ReadText(options_.Out), "what it held\n");
    EXPECT_EQ(FilesInFolder(), 1u) << "the unfinished content removed";
}

INSTANTIATE_TEST_SUITE_P(Kinds, StreamedOutput,
                         ::testing::Values(TKind{"trace.txt", false}, TKind{"trace.txt", true},
                                           TKind{"trace.csv", false}, TKind{"trace.vcd", false}),
                         [](const ::testing::TestParamInfo<TKind>& kind) {
                             return std::string(kind.param.Name).substr(6) +
                                    (kind.param.Russian ? "_ru" : "");
                         });

// A .tlr takes the device's bytes as they came, whatever the samples, and its header says how they
// were recorded.
TEST(RecordingOutput, HoldsTheBytesAsSentUnderAHeaderOfTheSettings) {
    char pattern[] = "/tmp/talvir-output-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    record::TRecordOptions options;
    options.Out = dir + "/trace.tlr";
    options.Output = *record::OutputKindForName(options.Out);
    options.Baud = 230400;
    options.PeriodMs = acquisition::DividerPeriod(40);
    options.Mode = acquisition::TSweep::smSingle;
    options.DurationS = 0.25L;
    std::vector<std::uint8_t> bytes(200000);
    std::mt19937 random(5);
    for (std::uint8_t& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    const auto now = [] {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    const std::int64_t before = now();
    {
        record::TOutput output(options);
        output.Start();
        output.Add(std::vector<double>(1000, 1.0)); // the samples are no part of it
        for (std::size_t at = 0; at < bytes.size(); at += 1000)
            output.AddBytes(std::span<const std::uint8_t>(bytes).subspan(at, 1000));
        EXPECT_EQ(output.Samples(), 8 * bytes.size());
        output.Finish(record::TRecording{});
    }
    const capture::TRecordingReader reader(options.Out);
    EXPECT_TRUE(reader.UsedIndex()) << "a normal end writes the index";
    EXPECT_EQ(reader.ReadBytes(0, bytes.size()), bytes);
    const capture::THeader& header = reader.Header();
    EXPECT_EQ(header.Divider, 40u);
    EXPECT_GE(header.StartMicroseconds, before);
    EXPECT_LE(header.StartMicroseconds, now());
    EXPECT_EQ(header.Baud, 230400u);
    EXPECT_EQ(std::tuple(header.DataBits, header.Parity, header.StopHalfBits),
              std::tuple(8, 0, 2));
    EXPECT_EQ(header.SweepMode, capture::smSingle);
    EXPECT_EQ(header.Trigger, capture::trFirstChange);
    EXPECT_EQ(header.SweepMilliseconds, 250u);
    EXPECT_EQ(header.ProgramVersion, "talvir-record " TALVIR_VERSION);
    std::filesystem::remove_all(dir);
}

} // namespace
