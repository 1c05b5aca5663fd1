// talvir-convert as a script runs it: sigrok-cli reads back every sample of what it writes, and each
// failure ends with its own status and one line.

#include "capture/recording_files.h"
#include "convert/command_line.h"
#include "support/child_process.h"
#include "support/man_page.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

using namespace capture_test;

namespace {

using namespace std::chrono_literals;

// What a command prints on standard output; empty where it cannot be run.
std::string Output(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[1 << 16];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, got);
        ::pclose(pipe);
    }
    return text;
}

// The levels of sigrok-cli's CSV of one channel.
std::vector<std::uint8_t> SigrokLevels(const std::string& options) {
    const std::string csv = Output("sigrok-cli " + options + " -O csv 2>/dev/null");
    std::vector<std::uint8_t> levels;
    for (std::size_t at = 0; at < csv.size();) {
        const std::size_t end = std::min(csv.find('\n', at), csv.size());
        if (end == at + 1 && (csv[at] == '0' || csv[at] == '1'))
            levels.push_back(static_cast<std::uint8_t>(csv[at] - '0'));
        at = end + 1;
    }
    return levels;
}

std::vector<std::uint8_t> LevelsOf(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t> levels;
    for (const std::uint8_t byte : bytes)
        for (int bit = 7; bit >= 0; --bit)
            levels.push_back((byte >> bit) & 1u);
    return levels;
}

class ConvertProgram : public ::testing::Test {
protected:
    struct TRun {
        std::optional<int> Status;
        std::string Err;
    };
    TRun Run(const std::vector<std::string>& args) {
        std::vector<std::string> command{TALVIR_CONVERT_PROGRAM};
        command.insert(command.end(), args.begin(), args.end());
        test_support::TChildProcess convert(command, folder_.Path("err.txt"));
        TRun run;
        run.Status = convert.Wait(60s);
        run.Err = Content(folder_.Path("err.txt"));
        return run;
    }
    std::string Path(const std::string& name) const { return folder_.Path(name); }

    TTempFolder folder_;
};

// Two pieces of samples, the second one short; sigrok's VCD input is slow, so its file is
// smaller.
TEST_F(ConvertProgram, SigrokReadsEverySampleOfTheSessionFileAndOfTheVcd) {
    if (Output("command -v sigrok-cli").empty())
        GTEST_SKIP() << "sigrok-cli is not installed (tools/install-deps.sh --tests installs it)";
    for (const auto& [out, size] :
         {std::pair{std::string("rec.sr"), 600000}, std::pair{std::string("rec.vcd"), 20000}}) {
        SCOPED_TRACE(out);
        const std::vector<std::uint8_t> bytes = RandomBytes(static_cast<std::size_t>(size), 4);
        WriteRecording(Path("rec.tlr"), bytes, {bytes.size()});
        const TRun run = Run({Path("rec.tlr"), Path(out)});
        ASSERT_EQ(run.Status, 0) << run.Err;
        EXPECT_EQ(run.Err, "");
        std::string input = "-i " + Path(out);
        if (out.ends_with(".vcd")) {
            // Read as the file's comment says.
            std::smatch factor;
            const std::string vcd = Content(Path(out));
            ASSERT_TRUE(std::regex_search(vcd, factor, std::regex("vcd:downsample=\\d+")));
            input = "-I " + factor.str() + " " + input;
        } else {
            const std::string shown = Output("sigrok-cli " + input + " --show 2>&1");
            EXPECT_NE(shown.find("Samplerate: 102400\n"), std::string::npos) << shown;
            EXPECT_NE(shown.find("- signal: logic\n"), std::string::npos) << shown;
        }
        EXPECT_TRUE(SigrokLevels(input) == LevelsOf(bytes));
    }
}

TEST_F(ConvertProgram, FailuresEndWithTheirOwnStatusAndOneLine) {
    WriteRecording(Path("rec.tlr"), RandomBytes(3000, 5), {1000, 1000, 1000});
    std::string damaged = Content(Path("rec.tlr"));
    damaged[EncodeHeader(SampleHeader()).size() + 2 * capture::kBlockHeaderSize + 1500] ^= 0x01;
    Write(Path("damaged.tlr"), damaged);
    Write(Path("text.tlr"), "0 0\n1 1\n");
    struct TCase {
        std::vector<std::string> Args;
        int Status;
        std::string Line;
    };
    const std::vector<TCase> cases{
        {{Path("rec.tlr")}, 2, "talvir-convert: two files are needed"},
        {{Path("rec.tlr"), Path("o.bmp")}, 2, "must end in .vcd, .csv, .txt or .sr"},
        {{Path("rec.tlr"), Path("o.csv"), "--from", "1,5"}, 2, "bad value '1,5' for --from"},
        {{Path("rec.tlr"), Path("o.csv"), "--from", "300"},
         2,
         "lies beyond its end: the recording holds 24000 samples, 234.375 ms"},
        {{Path("missing.tlr"), Path("o.csv")},
         1,
         "talvir-convert: cannot read File not found: " + Path("missing.tlr") + "\n"},
        {{Path("text.tlr"), Path("o.csv")}, 1, "Invalid recording file: " + Path("text.tlr")},
        {{Path("damaged.tlr"), Path("o.csv")},
         1,
         "cannot convert " + Path("damaged.tlr") +
             ": Damaged block: samples 8000 to 15999 (78.125 ms to 156.25 ms) are in a damaged "
             "block; convert the parts before and after with --to and --from\n"},
        {{Path("rec.tlr"), Path("none/o.sr")},
         3,
         "talvir-convert: cannot write "},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Line);
        const TRun run = Run(c.Args);
        EXPECT_EQ(run.Status, c.Status) << run.Err;
        EXPECT_NE(run.Err.find(c.Line), std::string::npos) << run.Err;
        const std::string line = run.Err.substr(0, run.Err.find('\n') + 1);
        EXPECT_EQ(run.Err.substr(line.size()),
                  c.Line.starts_with("talvir-convert: two") || c.Line.starts_with("must") ||
                          c.Line.starts_with("bad value")
                      ? "Try 'talvir-convert --help'.\n"
                      : "")
            << "one line";
    }
    EXPECT_EQ(Run({Path("damaged.tlr"), Path("after.csv"), "--from", "156.25"}).Status, 0)
        << "the part after the hole";
}

TEST(ConvertManPage, NamesEveryOptionOfTheHelp) {
    test_support::ExpectManPageNamesTheHelpsOptions(TALVIR_CONVERT_MAN_PAGE,
                                                    convert::ConvertHelpText());
}

} // namespace
