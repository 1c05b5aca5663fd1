#include "record/notices.h"
#include "record/options.h"

#include "acquisition/timing.h"
#include "support/man_page.h"

#include <gtest/gtest.h>

#include <regex>

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
    EXPECT_EQ(o.Mode, acquisition::TSweep::smSingle);
    EXPECT_EQ(o.Sweeps, 7);
    EXPECT_TRUE(o.Test);
    EXPECT_TRUE(o.Quiet);
    EXPECT_EQ(o.Output, TOutputKind::Vcd);

    const auto plain = ParseCommandLine({"--out", "x.txt", "--port", "COM3"});
    ASSERT_TRUE(plain.Options) << plain.Error;
    EXPECT_EQ(plain.Options->Baud, 115200);
    EXPECT_EQ(plain.Options->PeriodMs, acquisition::DividerPeriod(acquisition::MinDivider));
    EXPECT_EQ(plain.Options->DurationS, 0.001L);
    EXPECT_EQ(plain.Options->Mode, acquisition::TSweep::smPeriodic);
    EXPECT_EQ(plain.Options->Sweeps, 1);
    EXPECT_EQ(plain.Options->Output, TOutputKind::DataFile);
    EXPECT_FALSE(plain.Options->Seconds) << "one sweep, as before --seconds";

    for (const auto& [typed, seconds] : {std::pair{"0", 0.0L}, {"2.5", 2.5L}, {"3600", 3600.0L}}) {
        const auto timed = ParseCommandLine({"--port", "COM1", "--out", "x.csv", "--seconds", typed});
        ASSERT_TRUE(timed.Options) << timed.Error;
        EXPECT_EQ(timed.Options->Seconds, seconds) << typed;
    }
}

TEST(RecordCommandLine, MistakesAreNamedAndNothingIsRecorded) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--out", "a.txt"}, "--port is required"},
        {{"--port", "COM1"}, "--out is required"},
        {{"--port", "COM1", "--out", "a.bmp"}, "--out: the file's extension"},
        {{"--port", "COM1", "--out", "dir.vcd/a"}, "--out: the file's extension"},
        {{"--port", "COM1", "--out", "a.txt", "--baud", "fast"}, "bad value 'fast' for --baud"},
        {{"--port", "COM1", "--out", "a.txt", "--baud", "12345"},
         "bad value '12345' for --baud; a serial line takes 50, 75, 110, "},
        {{"--port", "COM1", "--out", "a.txt", "--period", "-1"}, "bad value '-1' for --period"},
        {{"--port", "COM1", "--out", "a.txt", "--period", "0,01"}, "bad value '0,01'"},
        {{"--port", "COM1", "--out", "a.txt", "--period", "nan"}, "bad value 'nan'"},
        {{"--port", "COM1", "--out", "a.txt", "--sweeps", "0"}, "bad value '0' for --sweeps"},
        {{"--port", "COM1", "--out", "a.txt", "--mode", "burst"}, "bad value 'burst'"},
        {{"--port", "COM1", "--out", "a.txt", "--sweeps"}, "--sweeps needs a value"},
        {{"--port", "COM1", "--out", "a.txt", "--test=1"}, "--test takes no value"},
        {{"--port", "COM1", "--out", "a.txt", "--colour"}, "unknown option '--colour'"},
        {{"--port", "COM1", "--out", "a.txt", "--seconds", "-1"}, "bad value '-1' for --seconds"},
        {{"--port", "COM1", "--out", "a.txt", "--seconds", "2e9"}, "bad value '2e9'"},
        {{"--port", "COM1", "--out", "a.txt", "--seconds", "1", "--sweeps", "2"},
         "--sweeps and --seconds exclude each other"},
        {{"--port", "COM1", "--out", "a.txt", "--decode", ""}, "--decode: no decoder named in ''"},
        {{"--port", "COM1", "--out", "a.txt", "--decode", ":baudrate=9600"},
         "--decode: no decoder named in ':baudrate=9600'"},
        {{"--port", "COM1", "--out", "a.txt", "--decode", "uart:"},
         "--decode: an empty option in 'uart:'"},
        {{"--port", "COM1", "--out", "a.txt", "--decode", "uart:baudrate=9600,,parity=odd"},
         "--decode: an empty option in"},
        {{"--port", "COM1", "--out", "a.txt", "--decode", "uart:baudrate"},
         "--decode: option 'baudrate' of uart needs =VALUE"},
        {{"--port", "COM1", "--out", "a.txt", "--decode", "uart:=9600"},
         "--decode: option '=9600' of uart needs a name and a value"},
        {{"--port", "COM1", "--out", "a.txt", "--decode", "uart:baudrate="},
         "--decode: option 'baudrate=' of uart needs a name and a value"},
        {{"--port", "COM1", "--out", "a.txt", "--decode"}, "--decode needs a value"},
        {{"--port", "COM1", "--out", "a.txt", "--annotations", "a.csv"},
         "--annotations needs --decode"},
        {{"--port", "COM1", "--out", "a.csv", "--decode", "uart", "--annotations", "./a.csv"},
         "--annotations and --out name the same file"},
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

TEST(RecordCommandLine, DecodersStackInTheOrderGiven) {
    const auto parsed = ParseCommandLine(
        {"--port", "COM1", "--out", "a.tlr", "--decode", "uart:baudrate=9600,parity=even",
         "--decode=midi", "--annotations", "notes.csv", "--decode", "x:a=b=c"});
    ASSERT_TRUE(parsed.Options) << parsed.Error;
    const std::vector<decode::TStackedDecoder>& stack = parsed.Options->Decoders;
    ASSERT_EQ(stack.size(), 3u);
    EXPECT_EQ(stack[0].Id, "uart");
    EXPECT_EQ(stack[0].Options, (std::vector<std::pair<std::string, std::string>>{
                                    {"baudrate", "9600"}, {"parity", "even"}}));
    EXPECT_EQ(stack[1].Id, "midi");
    EXPECT_TRUE(stack[1].Options.empty());
    EXPECT_EQ(stack[2].Options, (std::vector<std::pair<std::string, std::string>>{{"a", "b=c"}}))
        << "the value is all after the first '='";
    EXPECT_EQ(parsed.Options->Annotations, "notes.csv");

    const auto plain = ParseCommandLine({"--port", "COM1", "--out", "a.txt"});
    ASSERT_TRUE(plain.Options) << plain.Error;
    EXPECT_TRUE(plain.Options->Decoders.empty());
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

record::TRecordOptions Options(const std::vector<std::string>& extra) {
    std::vector<std::string> args{"--port", "COM1", "--out", "a.txt"};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto parsed = ParseCommandLine(args);
    EXPECT_TRUE(parsed.Options) << parsed.Error;
    return parsed.Options.value_or(record::TRecordOptions{});
}

TEST(RecordNotices, APeriodNotTakenAsTypedIsToldWithWhy) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{}, ""},
        {{"--period", "0.0097656"}, ""},
        {{"--period", "35.5560981"}, ""},
        {{"--period", "0.01"},
         "--period 0.01 ms is not on the device's grid of (6n + 12) / 11059200 s; recording at "
         "0.0097656 ms"},
        {{"--period", "0.00976562"},
         "--period 0.00976562 ms is not on the device's grid of (6n + 12) / 11059200 s; "
         "recording at 0.0097656 ms"},
        {{"--period", "0.001"},
         "--period 0.001 ms is shorter than the device's shortest period; recording at 0.0097656 "
         "ms"},
        {{"--period=1e3"},
         "--period 1e3 ms is longer than the device's longest period; recording at 35.5560981 ms"},
    };
    for (const auto& [args, notice] : cases) {
        const auto told = record::PeriodNotice(Options(args));
        EXPECT_EQ(told.value_or(""), notice) << (args.empty() ? "default" : args.back());
    }
}

// The remedy the notice names is the shortest period the line carries: one grid step shorter
// it is too slow again, and the rate it names carries the period typed.
TEST(RecordNotices, ALineSlowerThanTheDeviceIsToldWithWhatWouldDo) {
    const auto told = record::LineRateNotice(Options({}));
    ASSERT_TRUE(told);
    EXPECT_EQ(*told, "at 0.0097656 ms the device sends 12800 bytes/s, more than the line carries "
                     "at 115200 baud (11520 bytes/s): samples will be missing; take --period "
                     "0.0108507 or longer, or --baud 230400");
    for (const auto& [baud, period] : {std::pair{"9600", "0.0097656"}, {"300", "1"}}) {
        SCOPED_TRACE(baud);
        const auto slow = record::LineRateNotice(Options({"--baud", baud, "--period", period}));
        ASSERT_TRUE(slow);
        const std::smatch remedy = [&] {
            std::smatch m;
            std::regex_search(*slow, m,
                              std::regex("--period ([0-9.]+) or longer, or --baud (\\d+)"));
            return m;
        }();
        ASSERT_EQ(remedy.size(), 3u) << *slow;
        const long double shortest = std::stold(remedy[1]);
        EXPECT_FALSE(
            record::LineRateNotice(Options({"--baud", baud, "--period", remedy[1].str()})));
        EXPECT_TRUE(record::LineRateNotice(Options(
            {"--baud", baud, "--period", std::to_string(shortest - acquisition::DividerStepMs)})));
        EXPECT_FALSE(record::LineRateNotice(Options({"--baud", remedy[2], "--period", period})));
    }
    EXPECT_FALSE(record::LineRateNotice(Options({"--baud", "230400"})));
    EXPECT_FALSE(record::LineRateNotice(Options({"--period", "0.0108507"})));
}

TEST(RecordNotices, TheBytesReceivedAreCountedAgainstTheDevicesRate) {
    record::TRecording recording;
    recording.PeriodMs = acquisition::ConfirmedPeriod(0.0097656L);
    recording.Totals = {23040, 23040, 2.0};
    EXPECT_EQ(record::ReceivedNotice(recording).value_or(""),
              "received 23040 sample bytes of 25600 expected at the device's rate in 2 s, 2560 "
              "missing");
    recording.Totals = {13, 13, 0.001};
    EXPECT_FALSE(record::ReceivedNotice(recording)) << "too short to count";
}

TEST(RecordNotices, ADataFileLongerThanTheWindowLoadsIsToldAndTlrSuggested) {
    EXPECT_FALSE(record::DataFileLengthNotice(Options({}), 500000));
    EXPECT_EQ(record::DataFileLengthNotice(Options({}), 500001).value_or(""),
              "a.txt holds 500001 points, but the window loads only the first 500000 points of a "
              "data file: the rest will be missing there; take .tlr, a recording the window opens "
              "whole");
    const auto csv = ParseCommandLine({"--port", "COM1", "--out", "a.csv"});
    EXPECT_FALSE(record::DataFileLengthNotice(*csv.Options, 5000000)) << "the window reads no csv";
}

// The man page's options are those of --help: every option of one is in the other.
TEST(RecordManPage, NamesEveryOptionOfTheHelp) {
    test_support::ExpectManPageNamesTheHelpsOptions(TALVIR_RECORD_MAN_PAGE, record::HelpText());
}

} // namespace
