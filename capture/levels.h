#pragma once
// What a chart needs to draw any range of a recording of any length without holding its samples:
// per column of pixels the first, last, lowest and highest level of the samples under it, or the
// samples themselves when few enough are in the range to draw them one by one.
//
// Whole blocks come from their summaries (the reader's index, no pass over the samples), runs of
// blocks from a pyramid of summaries of 2, 4, 8 … blocks built on opening, so that a column costs
// a few steps whatever it spans. A column border that cuts a block needs only the samples at the
// cut, read alone: the block's LeadRun and TailRun tell whether the part on either side of the cut
// holds an edge. A column lying inside a block needs the block's bytes: they are read, their CRC
// checked, when first needed and kept with the levels of each 512-sample chunk in a cache of
// bounded size, so that a scroll reads only the blocks that come into view.
//
// A damaged block holds no level: its samples are TLevel::Nothing, which lies between low and high
// (a chart draws it halfway). A block whose CRC fails only when its bytes are first read (the
// index was believed on opening) becomes Nothing from then on wherever its bytes are needed;
// where its summary suffices, the summary, which the index keeps intact, is drawn.
//
// Threading: the const calls may come from any thread. The cache and the list of damaged blocks
// found are guarded by one mutex, which is not held while the file is read.

#include "capture/reader.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace capture {

// Ordered by the height a chart draws them at.
enum class TLevel : std::uint8_t { Low = 0, Nothing = 1, High = 2 };

struct TColumn {
    TLevel First = TLevel::Nothing;
    TLevel Last = TLevel::Nothing;
    TLevel Lowest = TLevel::Nothing;
    TLevel Highest = TLevel::Nothing;
    bool operator==(const TColumn&) const = default;
};

class TRecordingLevels {
public:
    // The most samples a chart draws one by one, a sweep's longest trace; beyond, their columns.
    static constexpr std::uint64_t kMostSamples = 500'001;
    static constexpr std::size_t kDefaultCacheBytes = 32u << 20;

    // The reader must outlive this object.
    explicit TRecordingLevels(const TRecordingReader& reader,
                              std::size_t cacheBytes = kDefaultCacheBytes);

    std::uint64_t TotalSamples() const { return starts_.back(); }

    // The levels of samples [first, first + count). Throws std::out_of_range beyond TotalSamples,
    // files::EInOutError on a read error.
    std::vector<TLevel> Samples(std::uint64_t first, std::size_t count) const;
    // Column i holds samples [borders[i], borders[i + 1]). The borders ascend strictly (else
    // std::invalid_argument) and lie within 0 .. TotalSamples (else std::out_of_range).
    std::vector<TColumn> Columns(std::span<const std::uint64_t> borders) const;
    // The damaged blocks known: the reader's, and those whose CRC failed here when first read,
    // in the order of their samples.
    std::vector<TBadBlock> Damaged() const;
    // Bytes the cache holds now, at most the size it was given (plus one block).
    std::size_t CachedBytes() const;

    // The levels a range holds, as a set of TLevel bits, with its first and last level; Mask 0 for
    // no samples. Internal, of the pyramid.
    struct TNode {
        std::uint8_t First = 0, Last = 0, Mask = 0;
    };

private:
    struct TFine;
    // One byte looked up last, so that the two samples either side of a cut cost one read.
    struct TByteMemo {
        std::size_t Block = SIZE_MAX;
        std::uint64_t Byte = 0;
        std::uint8_t Value = 0;
    };

    std::size_t SegmentOf(std::uint64_t sample) const;
    TNode Span(std::size_t from, std::size_t to) const;
    TNode Part(std::size_t segment, std::uint64_t from, std::uint64_t to, TByteMemo& memo) const;
    std::uint8_t LevelAt(std::size_t block, std::uint64_t sample, TByteMemo& memo) const;
    // The block's bytes and chunk levels, read on a miss; nothing for a damaged block.
    std::shared_ptr<const TFine> Fine(std::size_t block, bool read) const;

    const TRecordingReader& reader_;
    // Segments: the good blocks and the damaged ones in the order of their samples; the first
    // sample of each, and TotalSamples at the end.
    std::vector<std::uint64_t> starts_;
    // The segment's index in reader_.Blocks(), or kHole.
    std::vector<std::size_t> blocks_;
    // levels_[k][i] summarises segments [i × 2^k, (i + 1) × 2^k).
    std::vector<std::vector<TNode>> levels_;

    const std::size_t cacheBytes_;
    mutable std::mutex mutex_;
    mutable std::list<std::size_t> recent_; // most recently used first
    struct TCached {
        std::shared_ptr<const TFine> Fine;
        std::list<std::size_t>::iterator Place;
    };
    mutable std::unordered_map<std::size_t, TCached> cache_;
    mutable std::size_t cachedBytes_ = 0;
    mutable std::vector<TBadBlock> found_;
    mutable std::unordered_set<std::size_t> damaged_;
};

// Borders that divide [first, last) into `columns` columns as equal as whole samples allow (fewer
// when the range holds fewer samples): columns + 1 borders, first and last included.
std::vector<std::uint64_t> EvenBorders(std::uint64_t first, std::uint64_t last,
                                       std::size_t columns);

} // namespace capture
