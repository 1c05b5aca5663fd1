// talvir-record's .tlr against the real simulator on a pseudo-terminal: every byte of the PRBS
// source in the file, after a normal end with the index, and after a kill up to its last block.

#include "acquisition/timing.h"
#include "capture/reader.h"
#include "support/child_process.h"
#include "support/pty_pair.h"
#include "support/recording_support.h"
#include "support/simulator_process.h"
#include "support/tmpfs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

namespace {

using namespace std::chrono_literals;
using devsim_test::SimulatorProcess;
using test_support::TChildProcess;

constexpr std::uint32_t Seed = 4242;

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Samples a second at the shortest period.
double SamplesPerSecond() {
    return 1000.0 / static_cast<double>(acquisition::ConfirmedPeriod(0.0097656L));
}

class RecordingFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/talvir-record-tlr-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    // talvir-record on the simulator's line at a rate that carries every byte.
    TChildProcess Start(const std::string& seconds, const std::string& out) {
        return TChildProcess({TALVIR_RECORD_PROGRAM, "--port", simulator_.SlavePath(), "--baud",
                              "230400", "--seconds", seconds, "--out", out},
                             Path("err.txt"));
    }

    // The file's samples from the first: the simulator's sequence, none left out.
    void ExpectThePrbs(const capture::TRecordingReader& reader) const {
        EXPECT_TRUE(reader.BadBlocks().empty());
        const std::vector<std::uint8_t> levels =
            reader.ReadLevels(0, static_cast<std::size_t>(reader.TotalSamples()));
        recording_test::TPrbs prbs(Seed);
        std::size_t wrong = 0;
        for (std::size_t j = 0; j < levels.size(); ++j)
            wrong += levels[j] != prbs[j];
        EXPECT_EQ(wrong, 0u);
    }

    serial::test::TPortsIni ini_;
    std::string dir_;
    SimulatorProcess simulator_{{"--source", "prbs:" + std::to_string(Seed)}};
};

// The device's bytes are whole: --seconds' count ends inside one, whose other samples stay.
TEST_F(RecordingFile, ANormalEndWritesTheIndexAfterEveryByte) {
    struct TCase {
        std::string Seconds;
        int Signal; // 0: the limit ends the recording
        std::uint64_t Least, Most;
    };
    for (const TCase& c : {TCase{"0.0501", 0, 5136, 5136},
                           TCase{"0", SIGINT, static_cast<std::uint64_t>(SamplesPerSecond() / 2),
                                 static_cast<std::uint64_t>(SamplesPerSecond() * 60)}}) {
        SCOPED_TRACE(c.Seconds);
        TChildProcess recorder = Start(c.Seconds, Path("rec.tlr"));
        if (c.Signal != 0) {
            std::this_thread::sleep_for(1500ms);
            recorder.Signal(c.Signal);
        }
        ASSERT_EQ(recorder.Wait(20s), 0) << ReadText(Path("err.txt"));
        const capture::TRecordingReader reader(Path("rec.tlr"));
        EXPECT_TRUE(reader.UsedIndex());
        EXPECT_GE(reader.TotalSamples(), c.Least);
        EXPECT_LE(reader.TotalSamples(), c.Most);
        ExpectThePrbs(reader);
    }
}

// A block is ended and synced about once a second: a kill loses no more than the samples since.
// The exact loss is the benchmark's; here a loaded machine still leaves over a second of four.
TEST_F(RecordingFile, AKillLeavesEverythingUpToTheLastBlockInTheFile) {
    TChildProcess recorder = Start("0", Path("rec.tlr"));
    std::this_thread::sleep_for(4500ms);
    ASSERT_FALSE(recorder.Wait(0ms)) << ReadText(Path("err.txt"));
    recorder.Signal(SIGKILL);
    EXPECT_EQ(recorder.Wait(5s), 128 + SIGKILL);
    const capture::TRecordingReader reader(Path("rec.tlr"));
    EXPECT_FALSE(reader.UsedIndex()) << "found by scanning";
    EXPECT_GE(static_cast<double>(reader.TotalSamples()), SamplesPerSecond());
    ExpectThePrbs(reader);
}

// A disk that fills while the file is written ends the recording in one line; the file keeps the
// blocks written whole before, and the part of a block that did not fit is cut off.
TEST_F(RecordingFile, AFullDiskEndsTheRecordingWithEveryWholeBlockInTheFile) {
    const std::string folder = Path("small");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const test_support::TTmpfs disk(folder, 0, "40k"); // about three seconds
    if (!disk.Mounted())
        GTEST_SKIP() << "no tmpfs may be mounted here";
    const std::string out = folder + "/rec.tlr";
    TChildProcess recorder = Start("0", out);
    EXPECT_EQ(recorder.Wait(30s), 11);
    const std::string err = ReadText(Path("err.txt"));
    EXPECT_TRUE(err.ends_with("talvir-record: cannot write " + out +
                              ": Disk is full; the file keeps the recording up to its last whole "
                              "block\n"))
        << err;
    const capture::TRecordingReader reader(out);
    EXPECT_GE(static_cast<double>(reader.TotalSamples()), SamplesPerSecond());
    ExpectThePrbs(reader);
}

} // namespace
