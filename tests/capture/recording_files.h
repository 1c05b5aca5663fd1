#pragma once
// Recording files for the capture tests: written through the writer in blocks of chosen sizes, in
// a private folder that goes when the test ends.

#include "capture/reader.h"
#include "capture/writer.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace capture_test {

class TTempFolder {
public:
    TTempFolder() {
        char pattern[] = "/tmp/talvir-capture-XXXXXX";
        if (::mkdtemp(pattern) != nullptr)
            dir_ = pattern;
    }
    ~TTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

private:
    std::string dir_;
};

inline capture::THeader SampleHeader() {
    capture::THeader header;
    header.Divider = 16;
    header.StartMicroseconds = 1'796'000'000'123'456;
    header.Baud = 115200;
    header.DataBits = 8;
    header.Parity = 2;
    header.StopHalfBits = 3;
    header.SweepMode = capture::smSingle;
    header.SweepMilliseconds = 4500;
    header.Trigger = capture::trFirstChange;
    header.ProgramVersion = "Тальвир 1.0";
    return header;
}

inline std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (std::uint8_t& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    return bytes;
}

inline std::string Content(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

inline void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// `bytes` in blocks of `sizes` (their sum is bytes.size()), closed with the index, or else left as
// a kill leaves it: the header and the blocks.
inline void WriteRecording(const std::string& path, const std::vector<std::uint8_t>& bytes,
                           const std::vector<std::size_t>& sizes, bool close = true) {
    std::string killed;
    {
        capture::TRecordingWriter writer(path, SampleHeader());
        std::size_t at = 0;
        for (std::size_t size : sizes) {
            writer.Append(bytes.data() + at, size);
            writer.EndBlock();
            at += size;
        }
        if (close)
            writer.Close();
        else
            killed = Content(path);
    }
    if (!close)
        Write(path, killed);
}

// Breaks the CRC of the given blocks (their places in the file, from 0) by flipping a byte of
// their samples: the reader then reports them as holes.
inline void DamageBlocks(const std::string& path, const std::set<std::size_t>& blocks) {
    std::string content = Content(path);
    const capture::TRecordingReader reader(path);
    for (std::size_t k : blocks)
        content[reader.Blocks()[k].Offset + capture::kBlockHeaderSize] ^= 0x10;
    Write(path, content);
}

// A recording of runs of random length, long ones too that cross several blocks, in blocks of 1
// to 5 bytes, some of them damaged; and the samples it holds as plain levels.
struct TRandomRecording {
    std::vector<std::uint8_t> Levels; // one a sample, holes included
    // The stretches [first, end) of samples between holes, in order.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> Stretches;
};

inline TRandomRecording MakeRandomRecording(const std::string& path, unsigned seed) {
    std::mt19937 random(seed);
    TRandomRecording made;
    const std::size_t blocks = 20 + random() % 40;
    const unsigned meanRun = 1 + random() % 30;
    std::vector<std::size_t> sizes;
    std::set<std::size_t> damaged;
    std::vector<std::uint8_t> bytes;
    unsigned level = random() % 2;
    for (std::size_t k = 0; k < blocks; ++k) {
        sizes.push_back(1 + random() % 5);
        if (random() % 8 == 0)
            damaged.insert(k);
        const std::uint64_t first = made.Levels.size();
        for (std::size_t i = 0; i < sizes.back(); ++i) {
            std::uint8_t byte = 0;
            for (int bit = 7; bit >= 0; --bit) {
                if (random() % (random() % 16 == 0 ? 4 * meanRun : meanRun) == 0)
                    level ^= 1;
                byte = static_cast<std::uint8_t>(byte | level << bit);
                made.Levels.push_back(static_cast<std::uint8_t>(level));
            }
            bytes.push_back(byte);
        }
        if (damaged.count(k) != 0)
            continue;
        if (!made.Stretches.empty() && made.Stretches.back().second == first)
            made.Stretches.back().second = made.Levels.size();
        else
            made.Stretches.emplace_back(first, made.Levels.size());
    }
    WriteRecording(path, bytes, sizes);
    DamageBlocks(path, damaged);
    return made;
}

} // namespace capture_test
