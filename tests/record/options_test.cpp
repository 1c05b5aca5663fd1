#include "record/options.h"

#include "recorder/timing.h"

#include <gtest/gtest.h>

namespace {

using record::ParseCommandLine;
using record::TOutputKind;

TEST(RecordCommandLine, TakesEveryOptionInBothSpellingsAndDefaultsTheRest) {
    const auto parsed = ParseCommandLine({"--port", "/dev/ttyUSB0", "--baud=57600", "--period",
                                          "0.05", "--duration=0.25", "--mode", "single", "--sweeps",
                                          "7", "--test", "-q", "--out", "a.VCD"});
    ASSERT_TRUE(parsed.Options) << parsed.Error;
    const record::TRecordOptions& o = *parsed.Options;
    EXPECT_EQ(o.Port, "/dev/ttyUSB0");
    EXPECT_EQ(o.Baud, 57600);
    EXPECT_EQ(o.PeriodMs, 0.05L);
    EXPECT_EQ(o.DurationS, 0.25L);
    EXPECT_EQ(o.Mode, recorder::TSweep::smSingle);
    EXPECT_EQ(o.Sweeps, 7);
    EXPECT_TRUE(o.Test);
    EXPECT_TRUE(o.Quiet);
    EXPECT_EQ(o.Output, TOutputKind::Vcd);

    const auto plain = ParseCommandLine({"--out", "x.txt", "--port", "COM3"});
    ASSERT_TRUE(plain.Options) << plain.Error;
    EXPECT_EQ(plain.Options->Baud, 115200);
    EXPECT_EQ(plain.Options->PeriodMs, recorder::DividerPeriod(recorder::MinDivider));
    EXPECT_EQ(plain.Options->DurationS, 0.001L);
    EXPECT_EQ(plain.Options->Mode, recorder::TSweep::smPeriodic);
    EXPECT_EQ(plain.Options->Sweeps, 1);
    EXPECT_EQ(plain.Options->Output, TOutputKind::DataFile);
}

TEST(RecordCommandLine, MistakesAreNamedAndNothingIsRecorded) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--out", "a.txt"}, "--port is required"},
        {{"--port", "COM1"}, "--out is required"},
        {{"--port", "COM1", "--out", "a.bmp"}, "--out: the file's extension"},
        {{"--port", "COM1", "--out", "dir.vcd/a"}, "--out: the file's extension"},
        {{"--port", "COM1", "--out", "a.txt", "--baud", "fast"}, "bad value 'fast' for --baud"},
        {{"--port", "COM1", "--out", "a.txt", "--period", "-1"}, "bad value '-1' for --period"},
        {{"--port", "COM1", "--out", "a.txt", "--period", "0,01"}, "bad value '0,01'"},
        {{"--port", "COM1", "--out", "a.txt", "--period", "nan"}, "bad value 'nan'"},
        {{"--port", "COM1", "--out", "a.txt", "--sweeps", "0"}, "bad value '0' for --sweeps"},
        {{"--port", "COM1", "--out", "a.txt", "--mode", "burst"}, "bad value 'burst'"},
        {{"--port", "COM1", "--out", "a.txt", "--sweeps"}, "--sweeps needs a value"},
        {{"--port", "COM1", "--out", "a.txt", "--test=1"}, "--test takes no value"},
        {{"--port", "COM1", "--out", "a.txt", "--colour"}, "unknown option '--colour'"},
    };
    for (const auto& [args, message] : cases) {
        const auto parsed = ParseCommandLine(args);
        EXPECT_FALSE(parsed.Options) << message;
        EXPECT_NE(parsed.Error.find(message), std::string::npos)
            << "got '" << parsed.Error << "' for " << message;
    }
    EXPECT_TRUE(ParseCommandLine({"--port", "x", "--help"}).Help);
    EXPECT_TRUE(ParseCommandLine({"--version", "--colour"}).Version);
}

TEST(RecordCommandLine, PortsNamedCOMGoThroughThePortMapAndOthersArePaths) {
    EXPECT_EQ(record::ComNumberOf("COM1"), 1);
    EXPECT_EQ(record::ComNumberOf("com50"), 50);
    EXPECT_EQ(record::ComNumberOf("COM51"), 0);
    EXPECT_EQ(record::ComNumberOf("COM0"), 0);
    EXPECT_EQ(record::ComNumberOf("COM1x"), 0);
    EXPECT_EQ(record::ComNumberOf("/dev/ttyUSB0"), 0);
    EXPECT_EQ(record::OutputKindForName("/tmp/a.b/trace.Png"), TOutputKind::Png);
    EXPECT_EQ(record::OutputKindForName("trace.csv"), TOutputKind::Csv);
    EXPECT_FALSE(record::OutputKindForName("/tmp/a.vcd/trace"));
}

} // namespace
