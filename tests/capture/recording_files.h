#pragma once
// Recording files for the capture tests: written through the writer in blocks of chosen sizes, in
// a private folder that goes when the test ends.

#include "capture/writer.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
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

} // namespace capture_test
