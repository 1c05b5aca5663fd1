#pragma once
// sigrok's session file (.sr), which sigrok-cli and the sigrok viewer open: a zip holding a file
// "version" with the text 2, a file "metadata" in INI form naming one logic channel and its sample
// rate, and the samples in pieces "logic-1-1", "logic-1-2", … of one byte a sample, bit 0 the level.

#include "capture/reader.h"
#include "convert/range.h"

#include <cstdint>
#include <string>

namespace convert {

// Samples in each piece but the last: a few megabytes, as sigrok's own files hold.
inline constexpr std::uint64_t SigrokPieceSamples = 4 << 20;
// The channel's name in the file, as our VCD files name their wire.
inline constexpr const char* SigrokChannel = "signal";

// The "metadata" file for one channel sampled at `samplesPerSecond`. sigrok takes a whole number
// of hertz: a rate with a fraction is rounded, which shifts late samples' times by that fraction.
std::string SigrokMetadata(double samplesPerSecond);

// Writes the range as a session file, as WriteRange says; the samples are read as the zip takes
// them, piece by piece, so memory stays flat.
bool WriteSigrokSession(const capture::TRecordingReader& reader, const TSampleRange& range,
                        const std::string& path, const TProgress& progress);

} // namespace convert
