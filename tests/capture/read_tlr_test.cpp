// tools/read_tlr.py, the short reader that shows the format is simple, prints the same header,
// blocks and samples as our reader, on a whole file, one without index, one with a damaged block
// and one cut short.

#include "capture/reader.h"
#include "recording_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

using namespace capture;
using namespace capture_test;

namespace {

std::string RunScript(const std::string& path) {
    const std::string command = "python3 " READ_TLR_SCRIPT " '" + path + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return "no python3";
    std::string out;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, got);
    ::pclose(pipe);
    return out;
}

// What the script prints, from our reader.
std::string OurPrint(const std::string& path) {
    const TRecordingReader reader(path);
    const THeader& h = reader.Header();
    std::ostringstream out;
    out << "divider " << h.Divider << " period " << 6 * h.Divider + 12 << "/11059200 s\n"
        << "start " << h.StartMicroseconds << " us line " << h.Baud << ' ' << int(h.DataBits) << ' '
        << int(h.Parity) << ' ' << h.StopHalfBits / 2.0 << " sweep " << int(h.SweepMode) << ' '
        << h.SweepMilliseconds << " ms trigger " << int(h.Trigger) << '\n'
        << "program " << h.ProgramVersion << '\n'
        << "index " << (reader.UsedIndex() ? "yes" : "no") << '\n';
    const auto& good = reader.Blocks();
    const auto& bad = reader.BadBlocks();
    std::size_t g = 0;
    std::size_t b = 0;
    for (std::uint64_t number = 0; g < good.size() || b < bad.size(); ++number) {
        if (b < bad.size() && bad[b].Number == number) {
            out << "block " << number << " first " << bad[b].FirstSample << " count "
                << bad[b].SampleCount << " crc bad\n";
            ++b;
            continue;
        }
        const TBlockInfo& block = good[g++];
        const TBlockSummary& s = block.Summary;
        out << "block " << number << " first " << block.FirstSample << " count "
            << block.SampleCount << " crc ok summary " << int(s.StartLevel) << ' '
            << int(s.EndLevel) << ' ' << s.RisingEdges << ' ' << s.FallingEdges << ' '
            << s.ShortestHigh << ' ' << s.LongestHigh << ' ' << s.ShortestLow << ' ' << s.LongestLow
            << ' ' << s.LeadRun << ' ' << s.TailRun << ' ';
        for (std::uint8_t level : reader.ReadLevels(block.FirstSample, block.SampleCount))
            out << int(level);
        out << '\n';
    }
    return out.str();
}

struct TFileCase {
    const char* Name;
    bool Close;
    std::size_t CutFromEnd;  // bytes taken off the end
    std::size_t DamagedByte; // from the file's start, 0 for none; 64 is the header's size
};

class ReadTlrScript : public ::testing::TestWithParam<TFileCase> {};

} // namespace

TEST_P(ReadTlrScript, PrintsWhatOurReaderReads) {
    const TFileCase& c = GetParam();
    TTempFolder folder;
    const std::string path = folder.Path("rec.tlr");
    WriteRecording(path, RandomBytes(200, 17), {50, 3, 90, 57}, c.Close);
    std::string bytes = Content(path);
    bytes.resize(bytes.size() - c.CutFromEnd);
    if (c.DamagedByte != 0)
        bytes[c.DamagedByte] ^= 0x40;
    Write(path, bytes);
    const std::string ours = OurPrint(path);
    EXPECT_NE(ours.find("\nblock 0 first 0 count 400 crc ok"), std::string::npos) << ours;
    EXPECT_EQ(ours.find("block 1 first 400 count 24 crc bad") != std::string::npos,
              c.DamagedByte != 0)
        << ours;
    EXPECT_EQ(RunScript(path), ours);
}

INSTANTIATE_TEST_SUITE_P(Files, ReadTlrScript,
                         ::testing::Values(TFileCase{"whole", true, 0, 0},
                                           TFileCase{"killed", false, 0, 0},
                                           TFileCase{"damaged", true, 0, 64 + 56 + 50 + 56 + 1},
                                           TFileCase{"cut", false, 30, 0}),
                         [](const auto& file) { return std::string(file.param.Name); });
