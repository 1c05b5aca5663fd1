#include "capture/summary.h"

#include <algorithm>

namespace capture {
namespace {

// Runs and edges, fed one sample at a time; a byte of eight equal samples at the current level
// only lengthens the run, which is nearly every byte of a slow signal.
class TRunTracker {
public:
    explicit TRunTracker(std::uint32_t level) : level_(level) {}

    void Extend(std::uint32_t samples) { run_ += samples; }

    void Sample(std::uint32_t level) {
        if (level != level_)
            Edge(level);
        ++run_;
    }

    std::uint32_t Level() const { return level_; }

    TBlockSummary Finish(std::uint32_t startLevel) {
        summary_.StartLevel = static_cast<std::uint8_t>(startLevel);
        summary_.EndLevel = static_cast<std::uint8_t>(level_);
        if (sawEdge_) {
            summary_.TailRun = run_;
        } else {
            summary_.LeadRun = run_;
            summary_.TailRun = run_;
        }
        return summary_;
    }

private:
    void Edge(std::uint32_t level) {
        if (!sawEdge_) {
            summary_.LeadRun = run_;
            sawEdge_ = true;
        } else if (level_ != 0) {
            Widen(summary_.ShortestHigh, summary_.LongestHigh);
        } else {
            Widen(summary_.ShortestLow, summary_.LongestLow);
        }
        ++(level != 0 ? summary_.RisingEdges : summary_.FallingEdges);
        level_ = level;
        run_ = 0;
    }

    void Widen(std::uint32_t& shortest, std::uint32_t& longest) const {
        shortest = shortest == 0 ? run_ : std::min(shortest, run_);
        longest = std::max(longest, run_);
    }

    TBlockSummary summary_;
    std::uint32_t level_;
    std::uint32_t run_ = 0;
    bool sawEdge_ = false;
};

} // namespace

TBlockSummary Summarise(const std::uint8_t* bytes, std::size_t size) {
    const std::uint32_t startLevel = bytes[0] >> 7;
    TRunTracker runs(startLevel);
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t byte = bytes[i];
        if (byte == (runs.Level() != 0 ? 0xFF : 0x00)) {
            runs.Extend(8);
            continue;
        }
        for (int k = 7; k >= 0; --k)
            runs.Sample((byte >> k) & 1u);
    }
    return runs.Finish(startLevel);
}

} // namespace capture
