// The simulator as the recorder meets it: a real process behind a pseudo-terminal.
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/man_page.h"
#include "support/simulator_process.h"

namespace devsim_test {
namespace {

constexpr milliseconds kAnswerTime{600}; // the recorder's longest wait for an answer
constexpr milliseconds kQuiet{200};      // the simulator answers within a millisecond

struct Started {
    explicit Started(const std::vector<std::string>& args)
        : process(args), line(process.SlavePath()) {}
    SimulatorProcess process;
    LineClient line;
};

TEST(Wire, AnswersCarriageReturnWithPrompt) {
    Started sim({});
    sim.line.Write("\r");
    EXPECT_EQ(sim.line.Read(3, kAnswerTime), "\r\n>");
    sim.line.Write("\r");
    EXPECT_EQ(sim.line.Read(3, kAnswerTime), "\r\n>");
    EXPECT_EQ(sim.line.ReadFor(kQuiet), "") << "every CR gets its prompt, no more";
}

TEST(Wire, SendsNoiseTextBeforePrompt) {
    Started sim({"--fault", "noise:BOOT v1.2\\r\\n"});
    sim.line.Write("\r");
    EXPECT_EQ(sim.line.Read(16, kAnswerTime), "BOOT v1.2\r\n\r\n>");
}

TEST(Wire, WithholdsPromptOnRequest) {
    Started sim({"--fault", "no-prompt"});
    sim.line.Write("\r");
    EXPECT_EQ(sim.line.ReadFor(kQuiet), "");
}

class Echo : public testing::TestWithParam<std::string> {};

TEST_P(Echo, EchoesCommandExactlyThenStreams) {
    Started sim({"--source", "square:1000"});
    sim.line.Write("\r");
    ASSERT_EQ(sim.line.Read(3, kAnswerTime), "\r\n>");
    const std::string command = GetParam();
    sim.line.Write(command);
    // At divider 65535 a byte takes 0.28 s, hence the longer wait for the first one.
    const std::string answer = sim.line.Read(command.size() + 1, milliseconds(1000));
    EXPECT_EQ(answer.substr(0, command.size()), command);
    EXPECT_EQ(answer.size(), command.size() + 1) << "sample bytes follow the echo";
}

INSTANTIATE_TEST_SUITE_P(Dividers, Echo,
                         testing::Values("RP 10\r", "RP 1A\r", "RP 731\r", "RP FFFF\r", "RT 10\r"));

class Refused : public testing::TestWithParam<std::string> {};

TEST_P(Refused, GetsNoAnswerAndLeavesDeviceReady) {
    Started sim({});
    sim.line.Write(GetParam());
    EXPECT_EQ(sim.line.ReadFor(kQuiet), "");
    sim.line.Write("\r");
    EXPECT_EQ(sim.line.Read(3, kAnswerTime), "\r\n>") << "not streaming after a refused line";
}

INSTANTIATE_TEST_SUITE_P(Commands, Refused,
                         testing::Values("rp 10\r", "RP 1a\r", "RP 0F\r", "RP 10000\r", "RX 10\r",
                                         "RP 1\r", "HELLO\r"));

TEST(Wire, EchoesInLowerCaseOnRequest) {
    Started sim({"--fault", "lower-echo"});
    sim.line.Write("RP 1A\r");
    EXPECT_EQ(sim.line.Read(6, kAnswerTime), "rp 1a\r");
}

TEST(Wire, WithholdsEchoAndStreamOnRequest) {
    Started sim({"--fault", "no-echo"});
    sim.line.Write("RP 10\r");
    EXPECT_EQ(sim.line.ReadFor(kQuiet), "");
}

TEST(Wire, CarriageReturnStopsStream) {
    Started sim({"--rate", "max"});
    sim.line.Write("RP 10\r");
    ASSERT_EQ(sim.line.Read(100, kAnswerTime).size(), 100u);
    sim.line.Write("\r");
    sim.line.ReadFor(kQuiet); // what was on its way before the stop
    EXPECT_EQ(sim.line.ReadFor(kQuiet), "");
    sim.line.Write("\r");
    EXPECT_EQ(sim.line.Read(3, kAnswerTime), "\r\n>") << "the stopping CR gets no prompt";
    EXPECT_EQ(sim.line.ReadFor(kQuiet), "");
}

// The documented generator, written out here again so the test pins the definition.
std::string PrbsBytes(std::uint32_t seed, std::size_t count) {
    std::string bytes;
    std::uint32_t s = seed;
    while (bytes.size() < count) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        for (int shift = 24; shift >= 0 && bytes.size() < count; shift -= 8)
            bytes += static_cast<char>((s >> shift) & 0xFF);
    }
    return bytes;
}

TEST(Wire, PrbsStreamMatchesRegeneratedSequenceFromFirstByte) {
    Started sim({"--source", "prbs:7", "--rate", "max"});
    constexpr std::size_t kCount = 200000;
    for (int round = 0; round < 2; ++round) { // the sequence restarts with every command
        sim.line.Write("RP 10\r");
        const std::string received = sim.line.Read(6 + kCount, milliseconds(5000));
        ASSERT_EQ(received.size(), 6 + kCount);
        EXPECT_EQ(received.substr(0, 6), "RP 10\r");
        const std::string expected = PrbsBytes(7, kCount);
        const auto mismatch = std::mismatch(expected.begin(), expected.end(), received.begin() + 6);
        EXPECT_EQ(mismatch.first, expected.end())
            << "first difference at byte " << mismatch.first - expected.begin();
        sim.line.Write("\r");
        sim.line.ReadFor(milliseconds(200));
    }
}

TEST(Wire, TestModeStreamsByteCounter) {
    Started sim({"--source", "prbs:7", "--rate", "max"});
    sim.line.Write("RT 10\r");
    const std::string received = sim.line.Read(6 + 1000, milliseconds(2000));
    ASSERT_EQ(received.size(), 1006u);
    for (std::size_t k = 0; k < 1000; ++k)
        ASSERT_EQ(static_cast<unsigned char>(received[6 + k]), k % 256) << "byte " << k;
}

TEST(Wire, StallsOnceAfterGivenSampleBytes) {
    Started sim({"--fault", "stall:400:1000", "--rate", "max"});
    sim.line.Write("RP 10\r");
    EXPECT_EQ(sim.line.Read(6 + 1000, milliseconds(1000)).size(), 1006u);
    EXPECT_EQ(sim.line.ReadFor(kQuiet), "");
    EXPECT_EQ(sim.line.Read(100000, milliseconds(1000)).size(), 100000u) << "once only";
}

TEST(Wire, HangsUpAfterGivenSampleBytes) {
    SimulatorProcess process({"--fault", "hangup:5000", "--rate", "max"});
    std::optional<int> status;
    {
        LineClient line(process.SlavePath());
        line.Write("RP 10\r");
        bool hungUp = false;
        const std::string received = line.ReadUntilHangup(milliseconds(5000), hungUp);
        EXPECT_TRUE(hungUp);
        EXPECT_EQ(received.size(), 6u + 5000u);
        status = process.WaitExit(milliseconds(3000));
    }
    EXPECT_EQ(status, 0) << "the simulator ends itself after the hang-up";
}

TEST(Wire, LogHoldsReceivedBytesAndEvents) {
    const auto log = std::filesystem::temp_directory_path() /
                     ("devsim-log-" + std::to_string(getpid()) + ".txt");
    {
        Started sim({"--log", log.string()});
        sim.line.Write("\r");
        sim.line.Read(3, kAnswerTime);
        sim.line.Write("RP 731\r");
        sim.line.Read(7, kAnswerTime);
        sim.line.Write("\r");
        sim.line.ReadFor(milliseconds(100));
        sim.process.Signal(SIGTERM);
        ASSERT_EQ(sim.process.WaitExit(milliseconds(3000)), 0);
    }
    std::ifstream file(log);
    std::stringstream text;
    text << file.rdbuf();
    std::filesystem::remove(log);
    const std::string expected[] = {"rx 0D\n",
                                    "prompt\n",
                                    "rx 52 50 20 37 33 31 0D\n",
                                    "echo \"RP 731\\r\" RP divider=1841\n",
                                    "stop, streamed=",
                                    "signal TERM"};
    std::size_t at = 0;
    for (const auto& piece : expected) {
        const auto found = text.str().find(piece, at);
        ASSERT_NE(found, std::string::npos) << "missing in order: " << piece << "\n" << text.str();
        at = found + piece.size();
    }
}

TEST(CommandLine, HelpExplainsAndExitsZero) {
    const Outcome outcome = RunSimulator({"--help"});
    EXPECT_EQ(outcome.status, 0);
    for (const char* word : {"--source", "prbs:SEED", "glitch:PERIOD_MS", "--fault", "hangup:BYTES", "--rate", "--com",
                             "--log", "xorshift32"})
        EXPECT_NE(outcome.out.find(word), std::string::npos) << word;
}

TEST(CommandLine, VersionNamesTheProgramAndExitsZero) {
    const Outcome outcome = RunSimulator({"--version"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "talvir-devsim " TALVIR_VERSION "\n");
}

// The man page's options are those of --help: every option of one is in the other.
TEST(CommandLine, TheManPageNamesEveryOptionOfTheHelp) {
    test_support::ExpectManPageNamesTheHelpsOptions(TALVIR_DEVSIM_MAN_PAGE,
                                                    RunSimulator({"--help"}).out);
}

class BadCommandLine : public testing::TestWithParam<std::vector<std::string>> {};

TEST_P(BadCommandLine, ExitsWithCodeTwoAndSaysWhy) {
    const Outcome outcome = RunSimulator(GetParam());
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.err.find("talvir-devsim: "), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out, "") << "no slave path for a script to pick up";
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, BadCommandLine,
    testing::Values(std::vector<std::string>{"--bogus"}, std::vector<std::string>{"--source"},
                    std::vector<std::string>{"--source", "sine:5"},
                    std::vector<std::string>{"--source", "glitch:1000:5"},
                    std::vector<std::string>{"--fault", "stall:abc"},
                    std::vector<std::string>{"--com", "51"},
                    std::vector<std::string>{"--rate", "fast"},
                    std::vector<std::string>{"--source", "file:/nonexistent/data.txt"}));

// ports.ini registration, seen from outside: the entry names the slave while the simulator
// runs and is back as it was after a termination signal.
struct Registration {
    std::optional<std::string> before; // nullopt: no ports.ini at all
    int signal;
};

class PortsIni : public testing::TestWithParam<Registration> {};

std::optional<std::string> ReadText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST_P(PortsIni, RestoredAfterSignal) {
    char pattern[] = "/tmp/devsim-config-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path home = pattern;
    const auto ini = home / "talvir" / "ports.ini";
    if (GetParam().before) {
        std::filesystem::create_directories(ini.parent_path());
        std::ofstream(ini, std::ios::binary) << *GetParam().before;
    }
    {
        SimulatorProcess process({"--com", "1"}, {"XDG_CONFIG_HOME=" + home.string()});
        const auto during = ReadText(ini);
        ASSERT_TRUE(during.has_value());
        EXPECT_NE(during->find("COM1=" + process.SlavePath()), std::string::npos) << *during;
        process.Signal(GetParam().signal);
        EXPECT_EQ(process.WaitExit(milliseconds(3000)), 0);
    }
    EXPECT_EQ(ReadText(ini), GetParam().before);
    std::filesystem::remove_all(home);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, PortsIni,
    testing::Values(Registration{"[Ports]\r\nCOM1=/dev/ttyUSB0\r\nCOM2=/dev/pts/9\r\n", SIGTERM},
                    Registration{"; ours\n[Ports]\nCOM2=/dev/pts/9\n", SIGTERM},
                    Registration{std::nullopt, SIGTERM},
                    Registration{"[Ports]\nCOM1=/dev/ttyS0\n", SIGINT}));

} // namespace
} // namespace devsim_test
