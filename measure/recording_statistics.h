#pragma once
// The pulse figures of a whole recording, in one pass over its file.
//
// Threading: reads the reader only (its const calls may come from any thread), so it may run on a
// worker thread; cancel and progress as capture/search.h describes.

#include "capture/reader.h"
#include "capture/search.h"
#include "measure/pulse_statistics.h"

#include <optional>

namespace measure {

// What PulseStatistics gives on the recording's samples read as one trace, times in ms from its
// first sample (sample × period): edges, pulses and periods as capture/search.h defines them, so a
// hole (a damaged block) breaks the pulse and period across it. None when cancelled. Throws
// files::EInOutError when a block cannot be read.
std::optional<TPulseStatistics> RecordingPulseStatistics(const capture::TRecordingReader& reader,
                                                         const capture::TScanControl& control = {});

} // namespace measure
