#include "capture/search.h"

#include "capture/edges.h"

#include <algorithm>
#include <type_traits>
#include <vector>

namespace capture {
namespace {

bool Adjacent(const TBlockInfo& earlier, const TBlockInfo& later) {
    return earlier.FirstSample + earlier.SampleCount == later.FirstSample;
}

// Walks the recording's edges block by block, forward or backward, from a sample onwards, and
// hands them to a seeker in the order of the walk:
//   bool Edge(sample, level)  an edge; `level` is the level of the run beyond it in the walk's
//                             direction. True stops the walk.
//   void Break()              the run that comes next does not follow on from the last edge:
//                             a hole, or edges inside a block the seeker left unread.
//   bool NeedInside(info, farEdge)  whether to read the block for its edges between its first
//                             and last; farEdge is the one of the two met last.
//   void EndOfBlock()
// A block is met in full; the seeker leaves out what lies before its starting sample.
template <class TSeeker>
class TWalk {
public:
    TWalk(const TRecordingReader& reader, bool forward, const TScanControl& control)
        : reader_(reader), blocks_(reader.Blocks()), forward_(forward), control_(control) {}

    // Walks `count` blocks from index `first` in the walk's direction. False when cancelled.
    bool Run(std::size_t first, std::size_t count, TSeeker& seeker) {
        int reported = -1;
        for (std::size_t done = 0; done < count; ++done) {
            const std::size_t at = forward_ ? first + done : first - done;
            if (Block(at, seeker))
                return true;
            if (control_.Cancel != nullptr && control_.Cancel->load(std::memory_order_relaxed))
                return false;
            const int percent = static_cast<int>(100 * (done + 1) / count);
            if (control_.Progress && percent != reported) {
                reported = percent;
                control_.Progress(static_cast<double>(done + 1) / static_cast<double>(count));
            }
        }
        return true;
    }

private:
    // True when the seeker stopped the walk.
    bool Block(std::size_t at, TSeeker& seeker) {
        if (!Border(at, seeker) || Edges(blocks_[at], seeker))
            return true;
        seeker.EndOfBlock();
        return false;
    }

    // The block's own edges: the first and the last from its summary, those between them only
    // when the seeker asks for them. True when the seeker stopped the walk.
    bool Edges(const TBlockInfo& info, TSeeker& seeker) {
        const TBlockSummary& s = info.Summary;
        const std::uint32_t count = s.RisingEdges + s.FallingEdges;
        if (count == 0)
            return false;
        const std::uint64_t firstEdge = info.FirstSample + s.LeadRun;
        const std::uint64_t lastEdge = info.FirstSample + info.SampleCount - s.TailRun;
        const unsigned firstBeyond = forward_ ? 1u - s.StartLevel : s.StartLevel;
        const unsigned lastBeyond = forward_ ? s.EndLevel : 1u - s.EndLevel;
        const std::uint64_t farEdge = forward_ ? lastEdge : firstEdge;
        if (seeker.Edge(forward_ ? firstEdge : lastEdge, forward_ ? firstBeyond : lastBeyond))
            return true;
        if (count == 1)
            return false;
        if (seeker.NeedInside(info, farEdge)) {
            if (Inside(info, seeker))
                return true;
        } else {
            seeker.Break();
        }
        return seeker.Edge(farEdge, forward_ ? lastBeyond : firstBeyond);
    }

    // The border the walk crosses to enter block `at`: an edge, a hole or nothing. False when the
    // seeker stopped the walk.
    bool Border(std::size_t at, TSeeker& seeker) {
        const bool hasBefore = forward_ ? at > 0 : at + 1 < blocks_.size();
        const TBlockInfo& info = blocks_[at];
        if (!hasBefore) {
            seeker.Break();
            return true;
        }
        const TBlockInfo& earlier = forward_ ? blocks_[at - 1] : info;
        const TBlockInfo& later = forward_ ? info : blocks_[at + 1];
        if (!Adjacent(earlier, later)) {
            seeker.Break();
            return true;
        }
        if (earlier.Summary.EndLevel == later.Summary.StartLevel)
            return true;
        return !seeker.Edge(later.FirstSample,
                            forward_ ? later.Summary.StartLevel : earlier.Summary.EndLevel);
    }

    // The edges between the block's first and last, in the walk's order.
    bool Inside(const TBlockInfo& info, TSeeker& seeker) {
        const std::vector<std::uint8_t> bytes =
            reader_.ReadBytes(info.FirstSample / 8, static_cast<std::size_t>(info.SampleCount / 8));
        // Written by index into room for the most a block can hold: growing a vector edge by edge
        // costs several times the finding.
        if (offsets_.size() < info.SampleCount)
            offsets_.resize(info.SampleCount);
        std::uint32_t* const offsets = offsets_.data();
        std::size_t count = 0;
        ForEachEdge(bytes.data(), bytes.size(), [&](std::uint64_t offset, unsigned) {
            offsets[count++] = static_cast<std::uint32_t>(offset);
        });
        // Edges alternate: the first begins the level other than the block's start level.
        const unsigned start = info.Summary.StartLevel;
        for (std::size_t k = 1; k + 1 < count; ++k) {
            const std::size_t at = forward_ ? k : count - 1 - k;
            const unsigned begun = (at % 2 == 0) ? 1u - start : start;
            if (seeker.Edge(info.FirstSample + offsets[at], forward_ ? begun : 1u - begun))
                return true;
        }
        return false;
    }

    const TRecordingReader& reader_;
    const std::vector<TBlockInfo>& blocks_;
    bool forward_;
    const TScanControl& control_;
    std::vector<std::uint32_t> offsets_;
};

// The blocks a walk from `from` meets. Forward: from the block that holds sample from + 1 (or the
// first after it) to the end; a block that ends by sample from + 1 holds nothing after `from`.
// Backward: from the last block that begins before `from` down to the first.
template <class TSeeker>
bool WalkFrom(const TRecordingReader& reader, bool forward, std::uint64_t from, TSeeker& seeker,
              const TScanControl& control) {
    const std::vector<TBlockInfo>& blocks = reader.Blocks();
    TWalk<TSeeker> walk(reader, forward, control);
    if (forward) {
        const auto first = std::partition_point(blocks.begin(), blocks.end(), [&](const auto& b) {
            return b.FirstSample + b.SampleCount <= from + 1;
        });
        const auto index = static_cast<std::size_t>(first - blocks.begin());
        return walk.Run(index, blocks.size() - index, seeker);
    }
    const auto end = std::partition_point(blocks.begin(), blocks.end(),
                                          [&](const auto& b) { return b.FirstSample < from; });
    const auto count = static_cast<std::size_t>(end - blocks.begin());
    return count == 0 || walk.Run(count - 1, count, seeker);
}

// Whether the edge lies beyond the walk's starting sample.
struct TBeyond {
    bool Forward;
    std::uint64_t From;

    bool operator()(std::uint64_t sample) const { return Forward ? sample > From : sample < From; }
};

class TPulseSeeker {
public:
    TPulseSeeker(TBeyond beyond, const TSearchCriteria& criteria)
        : beyond_(beyond), criteria_(criteria) {}

    bool Edge(std::uint64_t sample, unsigned level) {
        // The run between the last edge and this one is whole; it is beyond the starting sample
        // when the edge met first is.
        if (last_ && beyond_(*last_)) {
            const std::uint64_t first = std::min(*last_, sample);
            const std::uint64_t width = std::max(*last_, sample) - first;
            if (Matches(lastLevel_ != 0, width)) {
                found_ = TFoundPulse{first, width, lastLevel_ != 0};
                return true;
            }
        }
        last_ = sample;
        lastLevel_ = level;
        return false;
    }
    void Break() { last_.reset(); }
    bool NeedInside(const TBlockInfo& info, std::uint64_t farEdge) const {
        const TBlockSummary& s = info.Summary;
        const bool shorter = criteria_.Limit == TWidthLimit::Shorter;
        const auto mayHold = [&](bool high, std::uint32_t shortest, std::uint32_t longest) {
            return longest != 0 && Matches(high, shorter ? shortest : longest);
        };
        return beyond_(farEdge) && (mayHold(true, s.ShortestHigh, s.LongestHigh) ||
                                    mayHold(false, s.ShortestLow, s.LongestLow));
    }
    void EndOfBlock() {}

    const std::optional<TFoundPulse>& Found() const { return found_; }

private:
    bool Matches(bool high, std::uint64_t width) const {
        return PulseMatches(criteria_.Level, criteria_.Limit, static_cast<double>(criteria_.Width),
                            high, static_cast<double>(width));
    }

    TBeyond beyond_;
    TSearchCriteria criteria_;
    std::optional<std::uint64_t> last_;
    unsigned lastLevel_ = 0;
    std::optional<TFoundPulse> found_;
};

class TEdgeSeeker {
public:
    explicit TEdgeSeeker(TBeyond beyond) : beyond_(beyond) {}

    bool Edge(std::uint64_t sample, unsigned) {
        if (beyond_(sample))
            found_ = sample;
        return found_.has_value();
    }
    void Break() {}
    bool NeedInside(const TBlockInfo&, std::uint64_t farEdge) const { return beyond_(farEdge); }
    void EndOfBlock() {}

    const std::optional<std::uint64_t>& Found() const { return found_; }

private:
    TBeyond beyond_;
    std::optional<std::uint64_t> found_;
};

class TBatchSeeker {
public:
    explicit TBatchSeeker(const std::function<void(const TEdgeBatch&)>& onBatch)
        : onBatch_(onBatch) {}

    bool Edge(std::uint64_t sample, unsigned level) {
        edges_.push_back({sample, static_cast<std::uint8_t>(level)});
        return false;
    }
    // Holes come only at a block's start, before any of its edges.
    void Break() { afterHole_ = true; }
    bool NeedInside(const TBlockInfo&, std::uint64_t) const { return true; }
    void EndOfBlock() {
        onBatch_(TEdgeBatch{afterHole_, edges_});
        edges_.clear();
        afterHole_ = false;
    }

private:
    const std::function<void(const TEdgeBatch&)>& onBatch_;
    std::vector<TRecordedEdge> edges_;
    bool afterHole_ = false;
};

template <class TSeeker>
auto Seek(const TRecordingReader& reader, bool forward, std::uint64_t from, TSeeker seeker,
          const TScanControl& control) {
    using TResult = std::remove_cvref_t<decltype(seeker.Found())>;
    if (!WalkFrom(reader, forward, from, seeker, control))
        return TResult{};
    return seeker.Found();
}

} // namespace

std::optional<TFoundPulse> NextPulse(const TRecordingReader& reader, std::uint64_t after,
                                     const TSearchCriteria& criteria,
                                     const TScanControl& control) {
    return Seek(reader, true, after, TPulseSeeker({true, after}, criteria), control);
}

std::optional<TFoundPulse> PreviousPulse(const TRecordingReader& reader, std::uint64_t before,
                                         const TSearchCriteria& criteria,
                                         const TScanControl& control) {
    return Seek(reader, false, before, TPulseSeeker({false, before}, criteria), control);
}

std::optional<std::uint64_t> NextEdge(const TRecordingReader& reader, std::uint64_t after,
                                      const TScanControl& control) {
    return Seek(reader, true, after, TEdgeSeeker({true, after}), control);
}

std::optional<std::uint64_t> PreviousEdge(const TRecordingReader& reader, std::uint64_t before,
                                          const TScanControl& control) {
    return Seek(reader, false, before, TEdgeSeeker({false, before}), control);
}

bool ForEachRecordedEdge(const TRecordingReader& reader,
                         const std::function<void(const TEdgeBatch&)>& onBatch,
                         const TScanControl& control) {
    TBatchSeeker seeker(onBatch);
    return WalkFrom(reader, true, 0, seeker, control);
}

} // namespace capture
