#pragma once
// One run of talvir-record: the port opened, the device started, the sweeps decoded until enough
// are complete or the recording fails, the device stopped. On the calling thread, which plays the
// window thread of the port through a plain message loop.

#include "acquisition/integrity.h"
#include "record/options.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
};

// Over a shorter recording the device's lag behind the command outweighs what the counts say.
inline constexpr double ShortestCountedRecording = 1.0;

struct TRecording {
    TStatus Status = stOk;
    std::string Message;      // one line for a failure; empty on success
    long double PeriodMs = 0; // the quantised period the samples were taken at
    std::int32_t SweepLength = 0;
    int CompletedSweeps = 0;
    // The samples of the completed sweeps, back to back: 0 or 1.
    std::vector<std::uint8_t> Levels;
    acquisition::TIntegrityTotals Totals;
};

// Told once the device has started sampling, before the first byte is decoded.
using TStarted = std::function<void()>;
// Told of each completed sweep: how many of how many.
using TProgress = std::function<void(int completed, int total)>;

// Records as the options say. `stop` is polled while waiting; once true the recording ends as
// interrupted. Never throws for what the device or the port does: that is the status.
TRecording Record(const TRecordOptions& options, const TStarted& started, const TProgress& progress,
                  const std::atomic<bool>& stop);

} // namespace record
