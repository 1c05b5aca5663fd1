#pragma once
// The recording the device would send, made without waiting for it: a long file for trying the
// viewer and the search on hours or days of samples.

#include <cstdint>
#include <string>

#include "devsim/options.h"

namespace devsim {

class SignalFactory;

// Writes the source's first `recording.seconds` seconds after "RP" at the recording's divider to
// `recording.path` as a recording file, a block a second, with the index. The header says the
// recording began at `startMicroseconds` (UTC) and was made by `program`. Throws
// files::EInOutError when the file cannot be written.
void MakeRecording(const SignalFactory& factory, const OfflineRecording& recording,
                   std::int64_t startMicroseconds, const std::string& program);

} // namespace devsim
