#include "trace/vcd.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include <unistd.h>

using namespace trace;

namespace {

// A recording at the divider n: times k × T, PRBS levels.
struct TRecording {
    double Period = 0;
    std::vector<double> Times, Levels;
};

TRecording Record(int divider, std::size_t samples) {
    TRecording r;
    r.Period = static_cast<double>((6.0L * divider + 12) * 1000 / 11059200);
    std::mt19937 rng(static_cast<unsigned>(divider));
    for (std::size_t k = 0; k < samples; ++k) {
        r.Times.push_back(static_cast<double>(static_cast<long double>(r.Period) * k));
        r.Levels.push_back(rng() % 3 == 0);
    }
    return r;
}

std::string Vcd(const TRecording& r) {
    return FormatVcd(r.Times, r.Levels, {"today", "Тальвир 1.0", r.Period, "single sweep", ""});
}

TVcdTrace Import(const std::string& text, std::size_t limit = 500000) {
    const TVcdHeaderRead header = ReadVcdVariables(text);
    EXPECT_FALSE(header.Error) << header.Error->Message;
    EXPECT_FALSE(header.Variables.empty());
    if (header.Error || header.Variables.empty())
        return {};
    const TVcdSignalRead read = ReadVcdSignal(text, header.Variables.front().Code, limit);
    EXPECT_FALSE(read.Error) << read.Error->Line << ": " << read.Error->Message;
    return VcdToTrace(read.Signal, limit);
}

std::string Output(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[65536];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, got);
        ::pclose(pipe);
    }
    return out;
}

bool HaveSigrok() {
    return std::system("command -v sigrok-cli >/dev/null 2>&1") == 0;
}

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid())))
        .string();
}

} // namespace

TEST(Vcd, OwnFilesComeBackSampleForSample) {
    for (int divider : {16, 17, 1000}) {
        const TRecording r = Record(divider, 5000);
        const TVcdTrace back = Import(Vcd(r));
        ASSERT_EQ(back.Times.size(), r.Times.size()) << divider;
        EXPECT_FALSE(back.LimitExceeded);
        for (std::size_t k = 0; k < r.Times.size(); ++k) {
            ASSERT_EQ(back.Levels[k], r.Levels[k]) << divider << " sample " << k;
            ASSERT_NEAR(back.Times[k], r.Times[k], 1e-9) << divider << " sample " << k;
        }
    }
}

// Another tool's file: a coarser timescale, nested scopes, a wider vector first, a 1-bit vector,
// x and z, several changes at one time. Points at the greatest common step, up to the end.
TEST(Vcd, ForeignFilesAtTheirCommonStep) {
    const std::string text = "$version other $end\n$timescale 10ns $end\n"
                             "$scope module top $end $scope module cpu $end\n"
                             "$var wire 8 # bus [7:0] $end\n$var reg 1 a clk $end\n"
                             "$upscope $end\n$var wire 1 b$ data $end\n$upscope $end\n"
                             "$enddefinitions $end\n#0\n$dumpvars\nb00000000 #\n0a\nbx b$\n$end\n"
                             "#30\n1a\nb1 b$\n#60\n0a\n1a\n#90\nza\n#120\n";
    const TVcdHeaderRead header = ReadVcdVariables(text);
    ASSERT_FALSE(header.Error);
    ASSERT_EQ(header.Variables.size(), 2u);
    EXPECT_EQ(header.Variables[0].Name, "top.cpu.clk");
    EXPECT_EQ(header.Variables[1].Name, "top.data");

    const TVcdSignalRead clk = ReadVcdSignal(text, "a", 500000);
    ASSERT_FALSE(clk.Error);
    EXPECT_EQ(clk.Signal.Unknown, 1u);
    const TVcdTrace points = VcdToTrace(clk.Signal, 500000);
    EXPECT_EQ(points.Times, (std::vector<double>{0, 3e-4, 6e-4, 9e-4}));
    EXPECT_EQ(points.Levels, (std::vector<double>{0, 1, 1, 0}));

    const TVcdSignalRead data = ReadVcdSignal(text, "b$", 500000);
    ASSERT_FALSE(data.Error);
    EXPECT_EQ(VcdToTrace(data.Signal, 500000).Levels, (std::vector<double>{0, 1, 1, 1}));
}

TEST(Vcd, MalformedFilesNameTheLine) {
    const std::string head = "$timescale 1 ns $end\n$var wire 1 ! s $end\n$enddefinitions $end\n";
    const std::pair<std::string, std::size_t> cases[] = {
        {"$timescale 1 ns $end\n$var wire 1 ! s", 2},    // cut short in the header
        {"$timescale 3 ns $end\n", 1},                   // no such timescale
        {"$timescale 1 ns $end\n$frobnicate $end\n", 2}, // unknown section
        {head + "1!\n#5\n", 4},                          // a value before any time
        {head + "#5\n1!\n#4\n0!\n", 6},                  // time going backwards
        {head + "#5\n1!\n$frobnicate\n", 6},             // unknown section later
        {head + "#5\nq!\n", 5},                          // not a value
    };
    for (const auto& [text, line] : cases) {
        const TVcdHeaderRead header = ReadVcdVariables(text);
        std::optional<TVcdError> error = header.Error;
        if (!error)
            error = ReadVcdSignal(text, "!", 500000).Error;
        ASSERT_TRUE(error) << text;
        EXPECT_EQ(error->Line, line) << text << error->Message;
        EXPECT_FALSE(error->Message.empty());
    }
}

// More changes than the trace may hold: the reading stops, the trace is cut at the limit.
TEST(Vcd, ManyChangesGiveABoundedTrace) {
    std::string text = "$timescale 1 ns $end\n$var wire 1 ! s $end\n$enddefinitions $end\n";
    for (int t = 0; t < 30000; ++t)
        text += "#" + std::to_string(t) + "\n" + (t % 2 ? "1!\n" : "0!\n");
    const TVcdSignalRead read = ReadVcdSignal(text, "!", 1000);
    ASSERT_FALSE(read.Error);
    EXPECT_LE(read.Signal.Times.size(), 1002u);
    const TVcdTrace points = VcdToTrace(read.Signal, 1000);
    EXPECT_EQ(points.Times.size(), 1000u);
    EXPECT_TRUE(points.LimitExceeded);
    EXPECT_EQ(points.Levels[999], 1);
}

// sigrok-cli reads our file with the downsample factor of its comment to the level of every
// sample, and our reader takes what sigrok-cli writes.
TEST(Vcd, SigrokReadsAndWritesWhatWeDo) {
    if (!HaveSigrok())
        GTEST_SKIP() << "sigrok-cli is not installed (tools/install-deps.sh installs it)";
    for (int divider : {16, 23}) {
        const TRecording r = Record(divider, 102401);
        const std::string path = TempPath("talvir-vcd") + ".vcd";
        std::ofstream(path) << Vcd(r);
        const std::uint64_t d = VcdDownsample(r.Period);
        std::istringstream csv(Output("sigrok-cli -I vcd:downsample=" + std::to_string(d) + " -i " +
                                      path + " -O csv 2>&1"));
        std::vector<double> levels;
        for (std::string line; std::getline(csv, line);)
            if (line == "0" || line == "1")
                levels.push_back(line == "1");
        std::filesystem::remove(path);
        ASSERT_EQ(levels.size(), r.Levels.size()) << divider;
        for (std::size_t k = 0; k < levels.size(); ++k)
            ASSERT_EQ(levels[k], r.Levels[k]) << divider << " sample " << k;
    }

    // A generated square wave through sigrok's VCD writer, back through our reader.
    const std::string theirs =
        Output("sigrok-cli -d demo --channels D0 --config samplerate=1000000 --samples 2000 -O vcd "
               "2>/dev/null");
    const std::string csv =
        Output("sigrok-cli -d demo --channels D0 --config samplerate=1000000 --samples 2000 -O csv "
               "2>/dev/null");
    std::istringstream lines(csv);
    std::vector<double> expected;
    for (std::string line; std::getline(lines, line);)
        if (line == "0" || line == "1")
            expected.push_back(line == "1");
    const TVcdTrace back = Import(theirs);
    ASSERT_FALSE(expected.empty());
    ASSERT_GE(back.Levels.size(), 1u);
    // The demo device's pattern is the same on every run; compare sample for sample.
    ASSERT_EQ(back.Levels.size(), expected.size());
    EXPECT_EQ(back.Levels, expected);
}
