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

    const devsim::SignalFactory factory(devsim::ParseSource("uart:9600:" + Text));
    const auto stream = factory.Start(devsim::Command{false, 16});
    std::uint64_t added = 0;
    auto add = [&] {
        std::vector<double> levels(Piece);
        for (std::size_t k = 0; k < Piece; k += 8) {
            const std::uint8_t byte = stream->NextByte();
            for (std::size_t b = 0; b < 8; ++b)
                levels[k + b] = (byte >> (7 - b)) & 1;
        }
        decoding.Add(levels);
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
