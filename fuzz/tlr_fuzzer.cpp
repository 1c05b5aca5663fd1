// Any bytes as a recording file: the reader opens it or says why not, never reads outside the
// file, and every block it lists reads back whole, or, trusting the index, fails as damaged.

#include "capture/reader.h"
#include "check.h"
#include "files/io_error.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// The reader opens files by path: the input goes into a file in memory, named through /proc.
struct TInputFile {
    int Fd = ::memfd_create("tlr", 0);
    std::string Path = "/proc/self/fd/" + std::to_string(Fd);
};

const TInputFile& Input() {
    static const TInputFile file;
    return file;
}

void Read(capture::TRecordingReader::TCheck check) {
    try {
        const capture::TRecordingReader reader(Input().Path, check);
        std::uint64_t end = 0;
        for (const capture::TBlockInfo& block : reader.Blocks()) {
            Check(block.FirstSample >= end && block.SampleCount > 0 &&
                  block.SampleCount <= 8 * capture::kMaxBlockBytes);
            end = block.FirstSample + block.SampleCount;
            try {
                Check(reader.ReadBytes(block.FirstSample / 8, block.SampleCount / 8).size() ==
                      block.SampleCount / 8);
            } catch (const files::EInOutError& e) {
                Check(check == capture::TRecordingReader::TCheck::Index &&
                      e.Text() == "Damaged block");
            }
        }
        Check(end <= reader.TotalSamples());
        if (check == capture::TRecordingReader::TCheck::Everything && !reader.Blocks().empty())
            Check(reader.ReadLevels(end - 3, 3).size() == 3);
    } catch (const files::EInOutError& e) {
        Check(!e.Text().empty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Check(::ftruncate(Input().Fd, 0) == 0 &&
          ::pwrite(Input().Fd, data, size, 0) == static_cast<ssize_t>(size));
    Read(capture::TRecordingReader::TCheck::Everything);
    Read(capture::TRecordingReader::TCheck::Index);
    return 0;
}
