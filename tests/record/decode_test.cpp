// talvir-record decoding what it records: against the real simulator sending UART text on a
// pseudo-terminal, with the real decoder host; the annotations as CSV in a file or on standard
// output, and a decoder that fails or a host that is killed ending only the decoding.

#include "acquisition/timing.h"
#include "support/child_process.h"
#include "support/simulator_process.h"
#include "support/uart_annotations.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using devsim_test::SimulatorProcess;
using test_support::TChildProcess;

const std::string Text = "Hello, 1-bit!";
constexpr double Seconds = 0.5;

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The samples --seconds asks for at the default period.
std::size_t SamplesOf(double seconds) {
    return static_cast<std::size_t>(
        std::llround(seconds * 1000 / static_cast<double>(acquisition::ConfirmedPeriod(0.0097656L))));
}

// The data file's samples: its lines but the header.
std::size_t CsvSamples(const std::string& path) {
    return Count(ReadText(path), "\n") - 1;
}

// The bytes spell the text over and over from the first, and each lasts its 8 data bits.
void ExpectTheTextRepeated(const std::string& csv, double seconds) {
    EXPECT_EQ(csv.rfind("start_ms,end_ms,decoder,row,text\n", 0), 0u);
    const std::vector<test_support::TUartByte> bytes = test_support::UartBytes(csv);
    std::string spelt;
    for (const test_support::TUartByte& byte : bytes) {
        spelt += byte.Value;
        EXPECT_NEAR(byte.EndMs - byte.StartMs, 8 / 9.6, 0.03) << "byte " << spelt.size();
    }
    // A repetition is the text and a frame's time of idle: 140 bits at 9600 baud.
    const auto repetitions = static_cast<std::size_t>(seconds * 9600 / 140);
    EXPECT_GE(spelt.size(), (repetitions - 1) * Text.size());
    std::string expected;
    while (expected.size() < spelt.size())
        expected += Text;
    EXPECT_EQ(spelt, expected.substr(0, spelt.size()));
    if (!bytes.empty()) {
        EXPECT_LT(bytes.back().EndMs, seconds * 1000) << "times beyond the recording";
    }
}

class RecordDecoding : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/talvir-record-decode-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        unsetenv("TALVIR_DECODE");
        std::filesystem::remove_all(dir_);
    }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    // The recorder's command line against the simulator, with `more` after it; standard output
    // to the file stdout.csv.
    std::vector<std::string> Command(const std::vector<std::string>& more, double seconds = Seconds) {
        std::vector<std::string> args{"sh", "-c", "exec \"$0\" \"$@\" >'" + Path("stdout.csv") + "'",
                                      TALVIR_RECORD_PROGRAM,
                                      "--port", simulator_.SlavePath(),
                                      "--baud", "921600",
                                      "--seconds", std::to_string(seconds),
                                      "--out", Path("trace.csv")};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    struct TRun {
        std::optional<int> Status;
        std::string Err;
    };
    TRun Run(const std::vector<std::string>& more) {
        TChildProcess recorder(Command(more), Path("err.txt"));
        TRun run;
        run.Status = recorder.Wait(60s);
        run.Err = ReadText(Path("err.txt"));
        return run;
    }

    SimulatorProcess simulator_{{"--source", "uart:9600:" + Text}};
    std::string dir_;
};

TEST_F(RecordDecoding, WritesTheAnnotationsToTheFileNamed) {
    const TRun run = Run({"--decode", "uart:baudrate=9600", "--annotations", Path("bytes.csv")});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err.find("decoder"), std::string::npos) << run.Err;
    ExpectTheTextRepeated(ReadText(Path("bytes.csv")), Seconds);
    EXPECT_EQ(ReadText(Path("stdout.csv")), "");
    EXPECT_EQ(CsvSamples(Path("trace.csv")), SamplesOf(Seconds));
}

TEST_F(RecordDecoding, WritesTheAnnotationsAloneToStandardOutputWithoutAFile) {
    const TRun run = Run({"--decode", "uart:baudrate=9600"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    ExpectTheTextRepeated(ReadText(Path("stdout.csv")), Seconds);
    EXPECT_EQ(CsvSamples(Path("trace.csv")), SamplesOf(Seconds));
}

TEST_F(RecordDecoding, ADecoderThatRaisesEndsTheDecodingInOneLineAndTheRecordingGoesOn) {
    // A baud rate of 0 makes the uart decoder raise once it has samples.
    const TRun run = Run({"--decode", "uart:baudrate=0", "--annotations", Path("bytes.csv")});
    EXPECT_EQ(run.Status, 13) << run.Err;
    EXPECT_EQ(Count(run.Err, "talvir-record: decoder: "), 1u) << run.Err;
    EXPECT_NE(run.Err.find("talvir-record: decoder: decoding: AttributeError"), std::string::npos)
        << run.Err;
    EXPECT_EQ(ReadText(Path("bytes.csv")), "start_ms,end_ms,decoder,row,text\n");
    EXPECT_EQ(CsvSamples(Path("trace.csv")), SamplesOf(Seconds));
}

TEST_F(RecordDecoding, ASignalToTheRecordersGroupEndsTheRecordingAndTheDecodingNormally) {
    // The recorder leads a process group of its own, as a shell's job, and the signal goes to
    // the whole group, as Ctrl+C sends SIGINT and a service's stop SIGTERM.
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(signal));
        std::filesystem::remove(Path("bytes.csv"));
        std::vector<std::string> command =
            Command({"--decode", "uart:baudrate=9600", "--annotations", Path("bytes.csv")}, 0);
        command.insert(command.begin(), "setsid");
        TChildProcess recorder(command, Path("err.txt"));
        for (auto until = std::chrono::steady_clock::now() + 20s;
             test_support::UartBytes(ReadText(Path("bytes.csv"))).size() < 2 * Text.size() &&
             std::chrono::steady_clock::now() < until;
             std::this_thread::sleep_for(20ms)) {
        }
        ASSERT_EQ(kill(-recorder.Pid(), signal), 0);
        const std::optional<int> status = recorder.Wait(60s);
        const std::string err = ReadText(Path("err.txt"));
        EXPECT_EQ(status, 0) << err;
        EXPECT_EQ(err.find("decoder"), std::string::npos) << err;
        EXPECT_GE(test_support::UartBytes(ReadText(Path("bytes.csv"))).size(), 2 * Text.size());
    }
}

TEST_F(RecordDecoding, AKilledHostEndsTheDecodingInOneLineAndTheRecordingGoesOn) {
    // The host as a script that tells its process id and becomes the real host.
    const std::string script = Path("host.sh");
    std::ofstream(script) << "#!/bin/sh\necho $$ >'" << Path("host.pid") << "'\nexec '"
                          << TALVIR_DECODE_PROGRAM << "'\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    setenv("TALVIR_DECODE", script.c_str(), 1);
    constexpr double seconds = 3;
    TChildProcess recorder(
        Command({"--decode", "uart:baudrate=9600", "--annotations", Path("bytes.csv")}, seconds),
        Path("err.txt"));
    std::string pid;
    for (auto until = std::chrono::steady_clock::now() + 20s;
         pid.empty() && std::chrono::steady_clock::now() < until;
         std::this_thread::sleep_for(10ms))
        pid = ReadText(Path("host.pid"));
    ASSERT_FALSE(pid.empty()) << "the host did not start";
    ASSERT_EQ(kill(std::stoi(pid), SIGKILL), 0);
    EXPECT_EQ(recorder.Wait(60s), 13);
    const std::string err = ReadText(Path("err.txt"));
    EXPECT_EQ(Count(err, "talvir-record: decoder: "), 1u) << err;
    EXPECT_NE(err.find("talvir-record: decoder: the decoder host was ended by signal 9"),
              std::string::npos)
        << err;
    EXPECT_EQ(CsvSamples(Path("trace.csv")), SamplesOf(seconds));
    EXPECT_EQ(ReadText(Path("bytes.csv")).rfind("start_ms,end_ms,decoder,row,text\n", 0), 0u);
}

} // namespace
