#pragma once
// One run of talvir-record: the port opened, the device started, the sweeps decoded until enough
// are complete or the recording fails, the device stopped. On the calling thread, which plays the
// window thread of the port through a plain message loop.

#include "acquisition/integrity.h"
#include "record/options.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace record {

// The exit statuses; see HelpText.
enum TStatus : int {
    stOk = 0,
    stOther = 1,
    stUsage = 2,
    stPortMissing = 3,
    stPortHeld = 4,
    stNoPermission = 5,
    stNoPrompt = 6,
    stNoEcho = 7,
    stLineError = 8,
    stDeviceLost = 9,
    stSweepTimeout = 10,
    stWriteFailed = 11,
    stInterrupted = 12,
    stDecodingFailed = 13,
};

// Over a shorter recording the device's lag behind the command outweighs what the counts say.
inline constexpr double ShortestCountedRecording = 1.0;

struct TRecording {
    TStatus Status = stOk;
    std::string Message;      // one line for a failure; empty on success
    long double PeriodMs = 0; // the quantised period the samples were taken at
    std::int32_t SweepLength = 0;
    int CompletedSweeps = 0;
    // The samples recorded: of the completed sweeps, and of a last sweep cut short.
    std::uint64_t Samples = 0;
    // A last sweep gave only its first samples: at --seconds' count, or at a signal without it.
    bool LastSweepCut = false;
    // The samples --seconds asks for; 0 for a recording counted in sweeps or without a limit.
    std::uint64_t SampleLimit = 0;
    acquisition::TIntegrityTotals Totals;
};

// Told once the device has started sampling, before the first byte is decoded.
using TStarted = std::function<void()>;
// Told as the recording goes on: how far of how far in the unit of its limit, sweeps with --sweeps
// and samples with --seconds (0 for the total without a limit).
using TProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;
// Takes the next samples of the recording, 0 or 1 each, as they come: each completed sweep whole,
// and the first samples of a sweep cut short. An exception it throws ends the recording as a
// failed write, with WriteFailure's line.
using TSamples = std::function<void(std::span<const double> levels)>;
// Takes the device's bytes exactly as they came, every one the recording decoded (the sweeps'
// and those between single sweeps), after the samples they gave. An exception ends the recording
// as TSamples' does.
using TBytes = std::function<void(std::span<const std::uint8_t> bytes)>;

// Records as the options say. `stop` is polled while waiting; once true the recording ends: as
// interrupted where it has a limit, as the end asked for where it has none. Never throws for what
// the device or the port does: that is the status.
TRecording Record(const TRecordOptions& options, const TStarted& started, const TProgress& progress,
                  const TSamples& samples, const TBytes& bytes, const std::atomic<bool>& stop);

} // namespace record
