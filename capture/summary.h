#pragma once
// The summary of a block of samples: enough to draw the block without its bytes and to tell whether
// a pulse of some width can lie in it, so that a search skips whole blocks.

#include <cstddef>
#include <cstdint>

namespace capture {

// Samples are the bits of the device's bytes, 8 a byte, the earliest in bit 7. An edge is a sample
// whose level differs from the sample before it in the same block: the border between two blocks
// is no edge of either (compare one block's EndLevel with the next one's StartLevel). A pulse is
// the run of equal samples between two consecutive edges of the block; the runs that touch the
// block's start or end are LeadRun and TailRun instead, so that a pulse across borders is the
// TailRun of one block, any blocks without edges at its level, and the LeadRun of the next.
struct TBlockSummary {
    std::uint8_t StartLevel = 0; // level of the block's first sample
    std::uint8_t EndLevel = 0;   // level of its last sample
    std::uint32_t RisingEdges = 0;
    std::uint32_t FallingEdges = 0;
    // Widths in samples of the pulses wholly inside the block; 0 when it holds none of the level.
    std::uint32_t ShortestHigh = 0;
    std::uint32_t LongestHigh = 0;
    std::uint32_t ShortestLow = 0;
    std::uint32_t LongestLow = 0;
    // Samples from the block's start up to its first edge, and from its last edge to its end
    // (the last edge's sample included); both the block's sample count when it has no edge.
    std::uint32_t LeadRun = 0;
    std::uint32_t TailRun = 0;

    bool operator==(const TBlockSummary&) const = default;
};

// The summary of `size` bytes (size >= 1, at most 2^28 bytes so that every count fits).
TBlockSummary Summarise(const std::uint8_t* bytes, std::size_t size);

} // namespace capture
