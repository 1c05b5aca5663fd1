#pragma once
// The recording written to the file the command line names, in the kind its extension picks, as
// its samples arrive.

#include "capture/writer.h"
#include "record/options.h"
#include "record/session.h"
#include "trace/stream.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace record {

// Why FILE could not be written, as one line, when it is clear before the recording: its folder is
// missing or takes no new file, or the file may not be written. None when the writing may go ahead.
std::optional<std::string> OutputProblem(const TRecordOptions& options);

// A failed write of FILE as one line, from the error TOutput threw.
std::string WriteFailure(const TRecordOptions& options, const std::exception& error);

// FILE written sample by sample, sample j at j × the period, the recording's sweeps back to back.
// A data file, a .csv and a .vcd stream through trace::TTraceStream (a .vcd's header tells what
// only the end knows): FILE gets the new content only at Finish, so a run that ends otherwise
// leaves it as it was. A .png must see every sample to draw them and
// holds them all, a byte each. A .tlr takes the device's bytes instead of the samples and is written
// under FILE's own name from the first byte, a block ended and synced about once a second, so
// that a crash or a kill leaves all but the last second or so in it, and a normal end adds the
// index. Memory stays flat for the other kinds, whatever the length.
// Throws (files::EInOutError and the like, with a message that names the file) when the file
// cannot be written.
class TOutput {
public:
    explicit TOutput(const TRecordOptions& options);

    // The device has begun sampling: a .tlr's first sample is taken now.
    void Start();
    // The next samples, 0 or 1 each.
    void Add(std::span<const double> levels);
    // The next bytes as the device sent them: a .tlr's content; the other kinds take the samples.
    void AddBytes(std::span<const std::uint8_t> bytes);
    // The recording is over: its samples make up FILE.
    void Finish(const TRecording& recording);

    // The samples written: a .tlr's 8 a byte.
    std::uint64_t Samples() const;
    // A write failed: the file cannot be finished.
    bool Broken() const;

private:

    const TRecordOptions& options_;
    long double periodMs_;
    std::optional<trace::TTraceStream> text_; // a data file's, a .csv's or a .vcd's
    std::vector<std::uint8_t> picture_;       // a .png's samples
    std::optional<capture::TRecordingWriter> recording_; // a .tlr's, from its first byte
    std::int64_t startMicroseconds_ = 0;
    std::chrono::steady_clock::time_point lastSync_;
    std::uint64_t samples_ = 0; // a .png's or a .tlr's
    bool broken_ = false;
};

} // namespace record
