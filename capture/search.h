#pragma once
// Finding an odd pulse or the next edge in a recording of any length, and a pass over every edge
// of it. The block summaries tell which blocks may hold what is sought: only those are read, so a
// search over a day reads the index and the few blocks that can match.
//
// Threading: these calls only read the reader, whose const calls may come from any thread, so
// they may run on a worker thread while the window thread uses the same reader. `Cancel` may be
// set from any thread; the call then returns soon, with none. `Progress` is called on the thread
// that runs the call, at most about a hundred times, with the share done so far (0 .. 1).

#include "capture/pulse_match.h"
#include "capture/reader.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace capture {

// Samples are numbered from the recording's first. An edge is the first sample of a new level;
// the first sample after the recording's start or after a hole (a damaged block) is none, since
// the level before it is unknown, and a block border is an edge when the level changes across
// it. A pulse is the run of samples from one edge up to the next: the runs that touch the
// recording's ends or a hole have no known width and are never found, as on a sweep.

struct TSearchCriteria {
    TPulseLevel Level = TPulseLevel::Either;
    TWidthLimit Limit = TWidthLimit::Shorter;
    std::uint64_t Width = 0; // samples

    bool operator==(const TSearchCriteria&) const = default;
};

struct TFoundPulse {
    std::uint64_t First = 0; // its first sample: the edge that begins it
    std::uint64_t Width = 0; // samples: First + Width is the edge that ends it
    bool High = false;

    bool operator==(const TFoundPulse&) const = default;
};

struct TScanControl {
    const std::atomic<bool>* Cancel = nullptr;
    std::function<void(double share)> Progress;
};

// The first matching pulse that begins after sample `after` (`after` itself excluded); a pulse
// under way at `after` is passed over. Sample 0 is never an edge, so after = 0 searches the
// whole recording.
std::optional<TFoundPulse> NextPulse(const TRecordingReader& reader, std::uint64_t after,
                                     const TSearchCriteria& criteria,
                                     const TScanControl& control = {});
// The last matching pulse that ends before sample `before` (its ending edge < before), so that
// before = TotalSamples() searches the whole recording.
std::optional<TFoundPulse> PreviousPulse(const TRecordingReader& reader, std::uint64_t before,
                                         const TSearchCriteria& criteria,
                                         const TScanControl& control = {});

// The first edge after `after` and the last edge before `before` (both excluded).
std::optional<std::uint64_t> NextEdge(const TRecordingReader& reader, std::uint64_t after,
                                      const TScanControl& control = {});
std::optional<std::uint64_t> PreviousEdge(const TRecordingReader& reader, std::uint64_t before,
                                          const TScanControl& control = {});

struct TRecordedEdge {
    std::uint64_t Sample = 0;
    std::uint8_t Level = 0; // the level it begins
};

// The edges of one block, in order, for a pass over the whole recording. AfterHole: the
// recording's start or a hole comes just before the block, so no pulse runs into it from before.
struct TEdgeBatch {
    bool AfterHole = false;
    std::span<const TRecordedEdge> Edges;
};

// Hands every block's edges to `onBatch` in the recording's order, reading every block. False
// when cancelled. Throws files::EInOutError as ReadBytes does.
bool ForEachRecordedEdge(const TRecordingReader& reader,
                         const std::function<void(const TEdgeBatch&)>& onBatch,
                         const TScanControl& control = {});

// The searches read blocks with ReadBytes too and throw as it does (a block whose CRC fails when
// the reader believed the index without checking).

} // namespace capture
