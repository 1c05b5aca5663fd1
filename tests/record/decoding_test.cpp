// The recorder's decoding queue with the real decoder host: a host that falls behind (stopped
// here) costs pieces, not the recording's time, and the decoding that begins again after them
// keeps the recording's sample numbers.

#include "decode/protocol.h"
#include "devsim/options.h"
#include "devsim/sources.h"
#include "record/decoding.h"
#include "support/uart_annotations.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

const std::string Text = "Hello, 1-bit!";
constexpr double PeriodMs = 108 / 11059.2; // divider 16: 102400 samples a second
// A repetition of the simulator's text: 13 bytes and a frame's idle, 140 bits at 9600 baud.
constexpr double RepetitionSamples = 140 * 102400 / 9600.0;
constexpr std::size_t Piece = 16384;

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The samples of each repetition's "H" that starts the whole text, from the annotations' CSV.
std::vector<double> WholeTextStarts(const std::string& csv) {
    const std::vector<test_support::TUartByte> bytes = test_support::UartBytes(csv);
    std::vector<double> starts;
    for (std::size_t i = 0; i + Text.size() <= bytes.size(); ++i) {
        std::string spelt;
        for (std::size_t k = 0; k < Text.size(); ++k)
            spelt += bytes[i + k].Value;
        if (spelt == Text)
            starts.push_back(bytes[i].StartMs / PeriodMs);
    }
    return starts;
}

// The simulator's samples of a source as levels, taken in pieces of any length.
class TLevels {
public:
    explicit TLevels(const std::string& source)
        : stream_(devsim::SignalFactory(devsim::ParseSource(source))
                      .Start(devsim::Command{false, 16})) {}

    std::vector<double> Next(std::size_t count) {
        std::vector<double> levels(count);
        for (double& level : levels) {
            if (left_ == 0) {
                byte_ = stream_->NextByte();
                left_ = 8;
            }
            level = (byte_ >> --left_) & 1;
        }
        return levels;
    }

private:
    std::unique_ptr<devsim::SampleSource> stream_;
    std::uint8_t byte_ = 0;
    int left_ = 0;
};

TEST(RecordDecodingQueue, AQuietLineGoesAsRunsAndSpellsTheText) {
    // At 1200 baud a bit is 85 samples, so the runs of a piece cost fewer bytes than its bits.
    const std::string csv = testing::TempDir() + "talvir-decoding-runs.csv";
    record::TDecodingSetup setup;
    setup.Stack = {{"uart", {{"baudrate", "1200"}}}};
    setup.HostProgram = TALVIR_DECODE_PROGRAM;
    setup.SampleRateHz = decode::SampleRateHz(16);
    setup.MsPerSample = PeriodMs;
    setup.Annotations = csv;
    std::string failure;
    {
        record::TDecoding decoding(setup, [&](const std::string& line) { failure = line; });
        TLevels levels("uart:1200:" + Text);
        // Pieces of odd lengths, as sweeps cut by --seconds come.
        for (int i = 0; i < 40; ++i)
            decoding.Add(levels.Next(5003));
        const record::TDecodingEnd end = decoding.Finish();
        EXPECT_FALSE(end.Failed) << failure;
        EXPECT_EQ(end.Undecoded, 0u);
    }
    std::string spelt;
    for (const test_support::TUartByte& byte : test_support::UartBytes(ReadText(csv)))
        spelt += byte.Value;
    // 200,120 samples: 1.95 s, 16.7 repetitions of 140 bits.
    EXPECT_GE(spelt.size(), 16 * Text.size()) << spelt;
    std::string expected;
    while (expected.size() < spelt.size())
        expected += Text;
    EXPECT_EQ(spelt, expected.substr(0, spelt.size()));
}

TEST(RecordDecodingQueue, PiecesAHostBehindHasNoRoomForAreDroppedAndTheRestKeepTheirPlace) {
    const std::string dir = testing::TempDir() + "talvir-decoding-queue";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    // The host as a script that tells its process id and becomes the real host.
    const std::string script = dir + "/host.sh";
    std::ofstream(script) << "#!/bin/sh\necho $$ >'" << dir << "/host.pid'\nexec '"
                          << TALVIR_DECODE_PROGRAM << "'\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);

    record::TDecodingSetup setup;
    setup.Stack = {{"uart", {{"baudrate", "9600"}}}};
    setup.HostProgram = script;
    setup.SampleRateHz = decode::SampleRateHz(16);
    setup.MsPerSample = PeriodMs;
    setup.Annotations = dir + "/bytes.csv";
    setup.HangLimit = 60s;
    setup.QueueSamples = 2 * Piece;
    std::string failure;
    record::TDecoding decoding(setup, [&](const std::string& line) { failure = line; });

    TLevels levels("uart:9600:" + Text);
    std::uint64_t added = 0;
    auto add = [&] {
        decoding.Add(levels.Next(Piece));
        added += Piece;
    };
    // Waits until the CSV holds a whole text that starts after `sample`.
    auto decodedBeyond = [&](double sample) {
        for (auto until = std::chrono::steady_clock::now() + 30s;
             std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(20ms)) {
            const auto starts = WholeTextStarts(ReadText(setup.Annotations));
            if (!starts.empty() && starts.back() > sample)
                return true;
            add(); // the recording goes on meanwhile
        }
        return false;
    };

    add();
    ASSERT_TRUE(decodedBeyond(0)) << failure;
    const pid_t host = std::stoi(ReadText(dir + "/host.pid"));
    ASSERT_EQ(kill(host, SIGSTOP), 0);
    // Far more than the host's input takes while it is stopped.
    for (int i = 0; i < 400; ++i)
        add();
    ASSERT_EQ(kill(host, SIGCONT), 0);
    const auto stoppedUpTo = static_cast<double>(added);
    EXPECT_TRUE(decodedBeyond(stoppedUpTo)) << "no decoding after the drop; " << failure;
    const record::TDecodingEnd end = decoding.Finish();
    EXPECT_FALSE(end.Failed) << failure;
    EXPECT_GT(end.Undecoded, 0u);
    EXPECT_LT(end.Undecoded, added);

    // Every whole text at its place in the recording's repetitions, none twice.
    const std::vector<double> starts = WholeTextStarts(ReadText(setup.Annotations));
    ASSERT_GE(starts.size(), 2u);
    for (std::size_t i = 1; i < starts.size(); ++i) {
        const double repetitions = (starts[i] - starts[0]) / RepetitionSamples;
        EXPECT_NEAR(repetitions, std::round(repetitions), 3 / RepetitionSamples)
            << "text " << i << " at sample " << starts[i];
        EXPECT_GT(starts[i] - starts[i - 1], RepetitionSamples - 3) << "text " << i;
    }
    std::filesystem::remove_all(dir);
}

} // namespace
