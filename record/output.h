#pragma once
// The recording written to the file the command line names, in the kind its extension picks.

#include "record/options.h"
#include "record/session.h"

namespace record {

// Writes all completed sweeps back to back, sample j at j × the period. Throws (trace::EInOutError
// and the like, with a message that names the file) when the file cannot be written; an existing
// file is then left as it was.
void WriteRecording(const TRecordOptions& options, const TRecording& recording);

} // namespace record
