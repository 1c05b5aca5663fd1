#include "capture/levels.h"

#include <algorithm>
#include <stdexcept>

namespace capture {
namespace {

constexpr std::size_t kHole = SIZE_MAX;
// 64 bytes: a column cut inside a chunk scans at most this many bytes at either end.
constexpr std::uint64_t kChunkSamples = 512;

constexpr std::uint8_t Bit(TLevel level) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(level));
}
constexpr std::uint8_t kLowBit = Bit(TLevel::Low);
constexpr std::uint8_t kHighBit = Bit(TLevel::High);
constexpr std::uint8_t kBothBits = kLowBit | kHighBit;

std::uint8_t LevelOf(unsigned bit) {
    return static_cast<std::uint8_t>(bit != 0 ? TLevel::High : TLevel::Low);
}

bool SampleBit(const std::uint8_t* bytes, std::uint64_t sample) {
    return (bytes[sample / 8] >> (7 - sample % 8)) & 1u;
}

// The levels among samples [from, to) of `bytes` (from < to), as TLevel bits.
std::uint8_t MaskOfSamples(const std::uint8_t* bytes, std::uint64_t from, std::uint64_t to) {
    std::uint8_t mask = 0;
    const std::uint64_t first = from / 8, last = (to - 1) / 8;
    for (std::uint64_t b = first; b <= last && mask != kBothBits; ++b) {
        std::uint8_t wanted = 0xFF;
        if (b == first)
            wanted &= static_cast<std::uint8_t>(0xFFu >> (from % 8));
        if (b == last)
            wanted &= static_cast<std::uint8_t>(0xFFu << (7 - (to - 1) % 8));
        const std::uint8_t byte = bytes[b];
        if ((byte & wanted) != 0)
            mask |= kHighBit;
        if ((~byte & wanted) != 0)
            mask |= kLowBit;
    }
    return mask;
}

TColumn ColumnOf(std::uint8_t first, std::uint8_t last, std::uint8_t mask) {
    TColumn column;
    column.First = static_cast<TLevel>(first);
    column.Last = static_cast<TLevel>(last);
    int low = 0;
    while (!(mask & (1u << low)))
        ++low;
    int high = 2;
    while (!(mask & (1u << high)))
        --high;
    column.Lowest = static_cast<TLevel>(low);
    column.Highest = static_cast<TLevel>(high);
    return column;
}

} // namespace

struct TRecordingLevels::TFine {
    std::vector<std::uint8_t> Bytes;
    std::vector<std::uint8_t> Chunks; // the levels of each kChunkSamples samples

    explicit TFine(std::vector<std::uint8_t> bytes) : Bytes(std::move(bytes)) {
        const std::uint64_t samples = 8 * Bytes.size();
        for (std::uint64_t at = 0; at < samples; at += kChunkSamples)
            Chunks.push_back(
                MaskOfSamples(Bytes.data(), at, std::min(at + kChunkSamples, samples)));
    }

    TNode Range(std::uint64_t from, std::uint64_t to) const {
        TNode node{LevelOf(SampleBit(Bytes.data(), from)), LevelOf(SampleBit(Bytes.data(), to - 1)),
                   0};
        const std::uint64_t firstChunk = from / kChunkSamples, lastChunk = (to - 1) / kChunkSamples;
        if (firstChunk == lastChunk) {
            node.Mask = MaskOfSamples(Bytes.data(), from, to);
            return node;
        }
        node.Mask = MaskOfSamples(Bytes.data(), from, (firstChunk + 1) * kChunkSamples);
        for (std::uint64_t c = firstChunk + 1; c < lastChunk && node.Mask != kBothBits; ++c)
            node.Mask |= Chunks[c];
        if (node.Mask != kBothBits)
            node.Mask |= MaskOfSamples(Bytes.data(), lastChunk * kChunkSamples, to);
        return node;
    }

    std::size_t Size() const { return Bytes.size() + Chunks.size(); }
};

namespace {

TRecordingLevels::TNode Combine(TRecordingLevels::TNode a, TRecordingLevels::TNode b) {
    if (a.Mask == 0)
        return b;
    if (b.Mask == 0)
        return a;
    return {a.First, b.Last, static_cast<std::uint8_t>(a.Mask | b.Mask)};
}

TRecordingLevels::TNode Uniform(std::uint8_t level) {
    return {level, level, static_cast<std::uint8_t>(1u << level)};
}

const TRecordingLevels::TNode kHoleNode = Uniform(static_cast<std::uint8_t>(TLevel::Nothing));

} // namespace

TRecordingLevels::TRecordingLevels(const TRecordingReader& reader, std::size_t cacheBytes)
    : reader_(reader), cacheBytes_(cacheBytes) {
    const std::vector<TBlockInfo>& good = reader.Blocks();
    const std::vector<TBadBlock>& bad = reader.BadBlocks();
    std::vector<TNode> nodes;
    nodes.reserve(good.size() + bad.size());
    for (std::size_t g = 0, b = 0; g < good.size() || b < bad.size();) {
        if (b == bad.size() || (g < good.size() && good[g].FirstSample < bad[b].FirstSample)) {
            const TBlockSummary& summary = good[g].Summary;
            const std::uint8_t start = LevelOf(summary.StartLevel);
            nodes.push_back(summary.RisingEdges + summary.FallingEdges == 0
                                ? Uniform(start)
                                : TNode{start, LevelOf(summary.EndLevel), kBothBits});
            starts_.push_back(good[g].FirstSample);
            blocks_.push_back(g++);
        } else {
            nodes.push_back(kHoleNode);
            starts_.push_back(bad[b++].FirstSample);
            blocks_.push_back(kHole);
        }
    }
    starts_.push_back(reader.TotalSamples());
    while (!nodes.empty()) {
        std::vector<TNode> coarser((nodes.size() + 1) / 2);
        for (std::size_t i = 0; i < coarser.size(); ++i)
            coarser[i] =
                2 * i + 1 < nodes.size() ? Combine(nodes[2 * i], nodes[2 * i + 1]) : nodes[2 * i];
        const bool top = nodes.size() == 1;
        levels_.push_back(std::move(nodes));
        if (top)
            break;
        nodes = std::move(coarser);
    }
}

std::size_t TRecordingLevels::SegmentOf(std::uint64_t sample) const {
    return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end() - 1, sample) -
                                    starts_.begin() - 1);
}

TRecordingLevels::TNode TRecordingLevels::Span(std::size_t from, std::size_t to) const {
    TNode left, right;
    for (std::size_t k = 0; from < to; ++k, from >>= 1, to >>= 1) {
        if (from & 1)
            left = Combine(left, levels_[k][from++]);
        if (to & 1)
            right = Combine(levels_[k][--to], right);
    }
    return Combine(left, right);
}

TRecordingLevels::TNode TRecordingLevels::Part(std::size_t segment, std::uint64_t from,
                                               std::uint64_t to, TByteMemo& memo) const {
    const std::size_t block = blocks_[segment];
    if (block == kHole)
        return kHoleNode;
    const TBlockInfo& info = reader_.Blocks()[block];
    const TBlockSummary& summary = info.Summary;
    const std::uint64_t n = info.SampleCount;
    const std::uint8_t start = LevelOf(summary.StartLevel), end = LevelOf(summary.EndLevel);
    if (to <= summary.LeadRun)
        return Uniform(start);
    if (from >= n - summary.TailRun)
        return Uniform(end);
    // The part reaches beyond the lead run or before the tail run: when it touches the block's
    // start or end, that edge lies inside it, and only its level at the cut is unknown.
    if (from == 0 || to == n)
        return {from == 0 ? start : LevelAt(block, from, memo),
                to == n ? end : LevelAt(block, to - 1, memo), kBothBits};
    const std::shared_ptr<const TFine> fine = Fine(block, true);
    return fine ? fine->Range(from, to) : kHoleNode;
}

std::uint8_t TRecordingLevels::LevelAt(std::size_t block, std::uint64_t sample,
                                       TByteMemo& memo) const {
    const TBlockInfo& info = reader_.Blocks()[block];
    if (sample < info.Summary.LeadRun)
        return LevelOf(info.Summary.StartLevel);
    if (sample >= info.SampleCount - info.Summary.TailRun)
        return LevelOf(info.Summary.EndLevel);
    if (const std::shared_ptr<const TFine> fine = Fine(block, false))
        return LevelOf(SampleBit(fine->Bytes.data(), sample));
    if (memo.Block != block || memo.Byte != sample / 8)
        memo = {block, sample / 8, reader_.StoredByte(block, sample / 8)};
    return LevelOf((memo.Value >> (7 - sample % 8)) & 1u);
}

std::shared_ptr<const TRecordingLevels::TFine> TRecordingLevels::Fine(std::size_t block,
                                                                      bool read) const {
    {
        const std::lock_guard lock(mutex_);
        if (damaged_.count(block) != 0)
            return nullptr;
        const auto it = cache_.find(block);
        if (it != cache_.end()) {
            recent_.splice(recent_.begin(), recent_, it->second.Place);
            return it->second.Fine;
        }
        if (!read)
            return nullptr;
    }
    std::optional<std::vector<std::uint8_t>> bytes = reader_.BlockBytes(block);
    const auto fine = bytes ? std::make_shared<const TFine>(std::move(*bytes)) : nullptr;
    const std::lock_guard lock(mutex_);
    if (!fine) {
        if (damaged_.insert(block).second) {
            const TBlockInfo& info = reader_.Blocks()[block];
            const std::vector<TBadBlock>& known = reader_.BadBlocks();
            // Its place in the file counts the damaged blocks before it that the reader left out.
            const auto before = std::count_if(known.begin(), known.end(), [&](const TBadBlock& b) {
                return b.FirstSample < info.FirstSample;
            });
            found_.push_back({block + static_cast<std::uint64_t>(before), info.FirstSample,
                              info.SampleCount,
                              info.FirstSample * reader_.Header().SamplePeriodSeconds()});
        }
        return nullptr;
    }
    // Another thread may have read it meanwhile: one copy is kept.
    if (const auto it = cache_.find(block); it != cache_.end())
        return it->second.Fine;
    recent_.push_front(block);
    cache_.emplace(block, TCached{fine, recent_.begin()});
    cachedBytes_ += fine->Size();
    while (cachedBytes_ > cacheBytes_ && recent_.size() > 1) {
        const auto last = cache_.find(recent_.back());
        cachedBytes_ -= last->second.Fine->Size();
        cache_.erase(last);
        recent_.pop_back();
    }
    return fine;
}

std::vector<TLevel> TRecordingLevels::Samples(std::uint64_t first, std::size_t count) const {
    if (first > TotalSamples() || count > TotalSamples() - first)
        throw std::out_of_range("samples beyond the recording's end");
    std::vector<TLevel> levels;
    levels.reserve(count);
    const std::uint64_t end = first + count;
    for (std::uint64_t at = first; at < end;) {
        const std::size_t segment = SegmentOf(at);
        const std::uint64_t segmentEnd = std::min(starts_[segment + 1], end);
        const std::size_t block = blocks_[segment];
        const std::shared_ptr<const TFine> fine = block == kHole ? nullptr : Fine(block, true);
        if (!fine) {
            levels.insert(levels.end(), segmentEnd - at, TLevel::Nothing);
        } else {
            const std::uint8_t* bytes = fine->Bytes.data();
            for (std::uint64_t s = at - starts_[segment]; s < segmentEnd - starts_[segment]; ++s)
                levels.push_back(SampleBit(bytes, s) ? TLevel::High : TLevel::Low);
        }
        at = segmentEnd;
    }
    return levels;
}

std::vector<TColumn> TRecordingLevels::Columns(std::span<const std::uint64_t> borders) const {
    std::vector<TColumn> columns;
    if (borders.size() < 2)
        return columns;
    if (!std::is_sorted(borders.begin(), borders.end(), std::less_equal<>()))
        throw std::invalid_argument("column borders must ascend strictly");
    if (borders.back() > TotalSamples())
        throw std::out_of_range("columns beyond the recording's end");
    columns.reserve(borders.size() - 1);
    // The samples at the cuts come from all over the file: their reads are asked for at once.
    for (const std::uint64_t border : borders.subspan(1, borders.size() - 2)) {
        const std::size_t segment = SegmentOf(border);
        const std::size_t block = blocks_[segment];
        if (block == kHole || border == starts_[segment])
            continue;
        const TBlockInfo& info = reader_.Blocks()[block];
        const std::uint64_t at = border - starts_[segment];
        if (at > info.Summary.LeadRun && at < info.SampleCount - info.Summary.TailRun)
            reader_.WillRead(block, at / 8);
    }
    TByteMemo memo;
    for (std::size_t i = 0; i + 1 < borders.size(); ++i) {
        const std::uint64_t from = borders[i], to = borders[i + 1];
        const std::size_t first = SegmentOf(from), last = SegmentOf(to - 1);
        TNode node;
        if (first == last) {
            node = Part(first, from - starts_[first], to - starts_[first], memo);
        } else {
            node = Part(first, from - starts_[first], starts_[first + 1] - starts_[first], memo);
            node = Combine(node, Span(first + 1, last));
            node = Combine(node, Part(last, 0, to - starts_[last], memo));
        }
        columns.push_back(ColumnOf(node.First, node.Last, node.Mask));
    }
    return columns;
}

std::vector<TBadBlock> TRecordingLevels::Damaged() const {
    std::vector<TBadBlock> all = reader_.BadBlocks();
    {
        const std::lock_guard lock(mutex_);
        all.insert(all.end(), found_.begin(), found_.end());
    }
    std::sort(all.begin(), all.end(),
              [](const TBadBlock& a, const TBadBlock& b) { return a.FirstSample < b.FirstSample; });
    return all;
}

std::size_t TRecordingLevels::CachedBytes() const {
    const std::lock_guard lock(mutex_);
    return cachedBytes_;
}

std::vector<std::uint64_t> EvenBorders(std::uint64_t first, std::uint64_t last,
                                       std::size_t columns) {
    const std::uint64_t samples = last > first ? last - first : 0;
    const std::uint64_t count = std::min<std::uint64_t>(columns, samples);
    std::vector<std::uint64_t> borders{first};
    // first + samples × i / count without the product's overflow.
    const std::uint64_t whole = count == 0 ? 0 : samples / count,
                        rest = count == 0 ? 0 : samples % count;
    for (std::uint64_t i = 1; i <= count; ++i)
        borders.push_back(first + whole * i + rest * i / count);
    return borders;
}

} // namespace capture
