#include "devsim/recording_maker.h"

#include <cmath>
#include <vector>

#include "capture/writer.h"
#include "devsim/sources.h"

namespace devsim {

void MakeRecording(const SignalFactory& signals, const OfflineRecording& recording,
                   std::int64_t startMicroseconds, const std::string& program) {
    capture::THeader header;
    header.Divider = recording.divider;
    header.StartMicroseconds = startMicroseconds;
    header.ProgramVersion = program;
    capture::TRecordingWriter writer(recording.path, header);

    const auto source = signals.Start(Command{false, recording.divider});
    const long double bytesPerSecond = SamplesPerSecond(recording.divider) / 8;
    const auto total = static_cast<std::uint64_t>(std::llround(recording.seconds * bytesPerSecond));
    std::vector<std::uint8_t> block;
    std::uint64_t written = 0;
    for (std::uint64_t second = 1; written < total; ++second) {
        // Block ends on the byte each whole second falls in, so no rounding accumulates.
        const auto end = std::min(total, static_cast<std::uint64_t>(second * bytesPerSecond));
        block.resize(end - written);
        for (std::uint8_t& byte : block)
            byte = source->NextByte();
        writer.Append(block.data(), block.size());
        writer.EndBlock();
        written = end;
    }
    writer.Close();
}

} // namespace devsim
