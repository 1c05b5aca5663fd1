// Byte rates of the real simulator over two seconds, against 11059200 / (6n + 12) / 8 bytes a
// second and the line's 10 bits a byte.
#include <algorithm>
#include <chrono>

#include <gtest/gtest.h>

#include "support/simulator_process.h"

namespace devsim_test {
namespace {

struct RateCase {
    const char* command;
    speed_t speed;
    double bytesPerSecond;
};

class Rate : public testing::TestWithParam<RateCase> {};

TEST_P(Rate, MatchesDeviceAndLineWithinTenPercent) {
    const RateCase c = GetParam();
    SimulatorProcess process({"--rate", "line"});
    LineClient line(process.SlavePath(), c.speed);
    const std::string command = c.command;
    line.Write(command);
    ASSERT_EQ(line.Read(command.size(), milliseconds(600)), command);
    const auto start = std::chrono::steady_clock::now();
    std::size_t received = 0;
    std::size_t largestSlice = 0;
    for (int slice = 0; slice < 8; ++slice) {
        const std::size_t bytes = line.ReadFor(milliseconds(250)).size();
        received += bytes;
        largestSlice = std::max(largestSlice, bytes);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const double rate = received / elapsed.count();
    EXPECT_NEAR(rate, c.bytesPerSecond, c.bytesPerSecond * 0.1) << received << " bytes";
    // No bursts: a quarter second never carries three times its share (a reader that the
    // machine holds up for a moment still finds the delayed bytes waiting, hence the margin).
    EXPECT_LE(largestSlice, c.bytesPerSecond / 4 * 3 + 8);
}

INSTANTIATE_TEST_SUITE_P(
    Dividers, Rate,
    testing::Values(RateCase{"RP 10\r", B4000000, 11059200.0 / 108 / 8},    // 12800
                    RateCase{"RP 731\r", B4000000, 11059200.0 / 11058 / 8}, // 125.01
                    RateCase{"RP 10\r", B115200, 115200.0 / 10}));          // the line caps

TEST(Rate, FollowsLineSpeedChangedWhileStreaming) {
    SimulatorProcess process({});
    LineClient line(process.SlavePath(), B9600);
    line.Write("RP 10\r");
    ASSERT_EQ(line.Read(6, milliseconds(600)), "RP 10\r");
    // Rates over the time that really passed: a busy machine may hold the reader up.
    const auto rate = [&line] {
        const auto start = std::chrono::steady_clock::now();
        const std::size_t bytes = line.ReadFor(milliseconds(500)).size();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        return bytes / elapsed.count();
    };
    const double slow = rate();
    line.SetSpeed(B4000000);
    line.ReadFor(milliseconds(100));
    const double fast = rate();
    EXPECT_NEAR(slow, 960.0, 96.0);
    EXPECT_NEAR(fast, 12800.0, 1280.0);
}

} // namespace
} // namespace devsim_test
