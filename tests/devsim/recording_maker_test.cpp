// The offline recording holds exactly what the simulator would have streamed, cut into one-second
// blocks without drift, even where a second is no whole number of bytes.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "capture/reader.h"
#include "devsim/options.h"
#include "devsim/recording_maker.h"
#include "devsim/sources.h"

namespace devsim {
namespace {

struct MakeCase {
    const char* source;
    unsigned divider;
    double seconds;
};

class MakeRecordingTest : public testing::TestWithParam<MakeCase> {};

TEST_P(MakeRecordingTest, HoldsTheStreamInSecondBlocks) {
    const MakeCase& c = GetParam();
    const std::string path = testing::TempDir() + "make_" + std::to_string(::getpid()) + ".tlr";
    const SignalFactory signals(ParseSource(c.source));
    MakeRecording(signals, OfflineRecording{path, c.divider, c.seconds}, 1'796'000'000'000'000,
                  "talvir-devsim test");

    const capture::TRecordingReader reader(path);
    std::remove(path.c_str());
    EXPECT_TRUE(reader.UsedIndex());
    EXPECT_TRUE(reader.BadBlocks().empty());
    EXPECT_EQ(reader.Header().Divider, c.divider);
    EXPECT_EQ(reader.Header().StartMicroseconds, 1'796'000'000'000'000);
    EXPECT_EQ(reader.Header().ProgramVersion, "talvir-devsim test");

    const long double bytesPerSecond = SamplesPerSecond(c.divider) / 8;
    const auto total = static_cast<std::uint64_t>(std::llround(c.seconds * bytesPerSecond));
    ASSERT_EQ(reader.TotalSamples(), 8 * total);
    ASSERT_EQ(reader.Blocks().size(), static_cast<std::size_t>(std::ceil(c.seconds)));
    for (std::size_t k = 0; k + 1 < reader.Blocks().size(); ++k)
        EXPECT_EQ(reader.Blocks()[k + 1].FirstSample,
                  8 * static_cast<std::uint64_t>((k + 1) * bytesPerSecond))
            << "block " << k + 1;

    const auto stream = signals.Start(Command{false, c.divider});
    std::vector<std::uint8_t> expected(total);
    for (std::uint8_t& byte : expected)
        byte = stream->NextByte();
    EXPECT_EQ(reader.ReadBytes(0, total), expected);
}

INSTANTIATE_TEST_SUITE_P(Sources, MakeRecordingTest,
                         testing::Values(MakeCase{"glitch:1000:30", 16, 2.5},
                                         MakeCase{"prbs:7", 20, 3},
                                         MakeCase{"square:3", 65535, 3.5},
                                         MakeCase{"uart:9600:Hello\\r\\n:even", 34, 1.5},
                                         MakeCase{"nec:89:194", 26, 1.2}));

} // namespace
} // namespace devsim
