#pragma once
// The recording written to the file the command line names, in the kind its extension picks.

#include "record/options.h"
#include "record/session.h"

#include <exception>
#include <optional>
#include <string>

namespace record {

// Why FILE could not be written, as one line, when it is clear before the recording: its folder is
// missing or takes no new file, or the file may not be written. None when the writing may go ahead.
std::optional<std::string> OutputProblem(const TRecordOptions& options);

// A failed write of FILE as one line, from the error WriteRecording threw.
std::string WriteFailure(const TRecordOptions& options, const std::exception& error);

// Writes all completed sweeps back to back, sample j at j × the period. Throws (files::EInOutError
// and the like, with a message that names the file) when the file cannot be written; an existing
// file is then left as it was.
void WriteRecording(const TRecordOptions& options, const TRecording& recording);

} // namespace record
