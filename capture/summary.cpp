#include "capture/summary.h"

#include "capture/edges.h"

#include <algorithm>

namespace capture {
namespace {

void Widen(std::uint32_t& shortest, std::uint32_t& longest, std::uint32_t width) {
    shortest = shortest == 0 ? width : std::min(shortest, width);
    longest = std::max(longest, width);
}

} // namespace

TBlockSummary Summarise(const std::uint8_t* bytes, std::size_t size) {
    TBlockSummary summary;
    summary.StartLevel = static_cast<std::uint8_t>(bytes[0] >> 7);
    summary.EndLevel = static_cast<std::uint8_t>(bytes[size - 1] & 1u);
    const auto samples = static_cast<std::uint32_t>(8 * size);
    bool sawEdge = false;
    std::uint32_t lastEdge = 0;
    ForEachEdge(bytes, size, [&](std::uint64_t at, unsigned level) {
        const auto offset = static_cast<std::uint32_t>(at);
        if (!sawEdge) {
            summary.LeadRun = offset;
            sawEdge = true;
        } else if (level == 0) {
            Widen(summary.ShortestHigh, summary.LongestHigh, offset - lastEdge);
        } else {
            Widen(summary.ShortestLow, summary.LongestLow, offset - lastEdge);
        }
        ++(level != 0 ? summary.RisingEdges : summary.FallingEdges);
        lastEdge = offset;
    });
    if (!sawEdge)
        summary.LeadRun = samples;
    summary.TailRun = samples - lastEdge;
    return summary;
}

} // namespace capture
