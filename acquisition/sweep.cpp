#include "acquisition/sweep.h"

#include <array>
#include <charconv>
#include <cstring>

namespace acquisition {
namespace {

// The eight levels of every byte value, earliest sample first: one table look-up and one copy per
// byte keeps decoding far ahead of the fastest line.
using TByteLevels = std::array<double, 8>;

constexpr std::array<TByteLevels, 256> MakeLevelTable() {
    std::array<TByteLevels, 256> table{};
    for (unsigned b = 0; b < 256; ++b)
        for (unsigned k = 0; k < 8; ++k)
            table[b][k] = ((b >> (7 - k)) & 1u) ? 1.0 : 0.0;
    return table;
}

constexpr std::array<TByteLevels, 256> kLevels = MakeLevelTable();

constexpr std::uint32_t Sample(std::uint8_t byte, int k) {
    return (byte >> (7 - k)) & 1u;
}

// The first rising edge of each byte after each preceding sample: index [before][byte], 8 for
// none, so a byte without one costs a single look-up. A falling edge is a rising one of the
// inverted samples.
using TEdgeTable = std::array<std::array<std::uint8_t, 256>, 2>;

constexpr TEdgeTable MakeRisingTable() {
    TEdgeTable table{};
    for (unsigned before = 0; before < 2; ++before)
        for (unsigned b = 0; b < 256; ++b) {
            std::uint8_t first = 8;
            std::uint32_t previous = before;
            for (int k = 0; k < 8 && first == 8; ++k) {
                const std::uint32_t s = Sample(static_cast<std::uint8_t>(b), k);
                if (previous == 0 && s == 1)
                    first = static_cast<std::uint8_t>(k);
                previous = s;
            }
            table[before][b] = first;
        }
    return table;
}

constexpr TEdgeTable kRising = MakeRisingTable();

// One buffer for every sweep: a completed sweep stays where it is.
class TInPlace final : public TSweepTarget {
public:
    explicit TInPlace(std::span<double> levels) { Levels = levels; }
    void SweepCompleted() override {}
};

} // namespace

int FirstEdge(TSweep::TTrigger trigger, std::uint32_t before, std::uint8_t byte) {
    if (trigger == TSweep::tgFalling)
        return kRising[before ^ 1u][static_cast<std::uint8_t>(~byte)];
    return kRising[before][byte];
}

void TSweep::Start(TMode mode, std::int32_t sweepLength, TTrigger trigger) {
    mode_ = mode;
    SweepLength_ = sweepLength;
    WriteIndex_ = 0;
    Triggered_ = false;
    AwaitingFirstSample_ = true;
    Finished_ = false;
    trigger_ = mode == smPeriodic ? trigger : tgFree;
    // The first sweep waits for its edge as every later one does; the first sample only gives
    // the level before it.
    AwaitingEdge_ = trigger_ != tgFree;
    NoTrigger_ = false;
    Waited_ = 0;
}

template <class TTarget> TSweep::TFeedResult TSweep::FeedAny(std::uint8_t byte, TTarget& target) {
    if (mode_ == smSingle)
        return FeedSingle(byte, target);
    return trigger_ == tgFree ? FeedPeriodic(byte, target) : FeedTriggered(byte, target);
}

TSweep::TFeedResult TSweep::Feed(std::uint8_t byte, TSweepTarget& target) {
    return FeedAny(byte, target);
}

TSweep::TFeedResult TSweep::Feed(std::uint8_t byte, std::span<double> levels) {
    TInPlace target(levels);
    return FeedAny(byte, target);
}

std::int32_t TSweep::UnderWay() const {
    if (AwaitingEdge_ || Finished_)
        return 0;
    return WriteIndex_;
}

void TSweep::Write(std::span<double> levels, std::uint32_t sample) {
    if (static_cast<std::size_t>(WriteIndex_) < levels.size())
        levels[static_cast<std::size_t>(WriteIndex_)] = sample ? 1.0 : 0.0;
    ++WriteIndex_;
}

bool TSweep::WriteWholeByte(std::uint8_t byte, std::span<double> levels) {
    const auto end = static_cast<std::size_t>(WriteIndex_) + 8;
    if (WriteIndex_ > SweepLength_ - 8 || end > levels.size())
        return false;
    std::memcpy(&levels[static_cast<std::size_t>(WriteIndex_)], kLevels[byte].data(),
                sizeof(TByteLevels));
    WriteIndex_ += 8;
    return true;
}

template <class TTarget>
TSweep::TFeedResult TSweep::FeedPeriodic(std::uint8_t byte, TTarget& target) {
    TFeedResult result;
    if (WriteWholeByte(byte, target.Levels))
        return result;
    for (int k = 0; k < 8; ++k) {
        // The test comes before the write, so sample N + 1 of a round wraps to point 0.
        if (WriteIndex_ >= SweepLength_) {
            ++result.CompletedSweeps;
            target.SweepCompleted();
            WriteIndex_ = 0;
        }
        Write(target.Levels, Sample(byte, k));
    }
    return result;
}

template <class TTarget>
TSweep::TFeedResult TSweep::FeedTriggered(std::uint8_t byte, TTarget& target) {
    TFeedResult result;
    const std::int64_t patience = 2 * static_cast<std::int64_t>(SweepLength_);
    if (AwaitingEdge_ && !AwaitingFirstSample_ && Waited_ + 8 < patience &&
        FirstEdge(trigger_, LastSample_, byte) == 8) {
        Waited_ += 8;
        LastSample_ = byte & 1u;
        return result;
    }
    if (!AwaitingEdge_ && WriteWholeByte(byte, target.Levels)) {
        LastSample_ = byte & 1u;
        return result;
    }
    for (int k = 0; k < 8; ++k) {
        const std::uint32_t s = Sample(byte, k);
        if (!AwaitingEdge_ && WriteIndex_ >= SweepLength_) {
            // Full: drawn now, and this very sample may already be the edge.
            ++result.CompletedSweeps;
            target.SweepCompleted();
            AwaitingEdge_ = true;
            Waited_ = 0;
        }
        if (AwaitingEdge_) {
            const bool edge =
                !AwaitingFirstSample_ && s != LastSample_ && s == (trigger_ == tgRising ? 1u : 0u);
            AwaitingFirstSample_ = false;
            ++Waited_;
            if (edge || Waited_ > patience) {
                AwaitingEdge_ = false;
                NoTrigger_ = !edge;
                WriteIndex_ = 0;
            }
        }
        if (!AwaitingEdge_)
            Write(target.Levels, s);
        LastSample_ = s;
    }
    return result;
}

template <class TTarget>
TSweep::TFeedResult TSweep::FeedSingle(std::uint8_t byte, TTarget& target) {
    TFeedResult result;
    if (Finished_) {
        result.Finished = true;
        return result;
    }
    if (Triggered_ && WriteWholeByte(byte, target.Levels))
        return result;
    for (int k = 0; k < 8; ++k) {
        const std::uint32_t s = Sample(byte, k);
        if (AwaitingFirstSample_) {
            FirstLevel_ = s;
            AwaitingFirstSample_ = false;
        } else if (Triggered_) {
            if (WriteIndex_ >= SweepLength_) {
                result.CompletedSweeps = 1;
                result.Finished = Finished_ = true;
                target.SweepCompleted();
                return result;
            }
            Write(target.Levels, s);
        } else if (s != FirstLevel_) {
            Triggered_ = true;
            Write(target.Levels, s);
        }
    }
    return result;
}

const char* LineErrorText(std::uint16_t code) {
    static const char* const texts[] = {
        "No error, ordinal value matches ecOK",
        "Buffer overrun in COMM.DRV",
        "UART receiver overrun",
        "UART receiver parity error",
        "UART receiver framing error",
        "Transmit timeout waiting for CTS",
        "Transmit timeout waiting for DSR",
        "Transmit timeout waiting for RLSD",
        "Transmit queue is full",
        "Break condition received",
    };
    return code < std::size(texts) ? texts[code] : "";
}

std::string SweepText(TSweep::TMode mode, int sweeps, long double durationS, std::size_t samples) {
    const bool single = mode == TSweep::smSingle;
    std::string text =
        sweeps == 1 ? (single ? "single sweep" : "periodic sweeps")
                    : std::to_string(sweeps) + (single ? " single sweeps" : " periodic sweeps");
    char duration[32];
    const auto end =
        std::to_chars(duration, duration + sizeof duration, static_cast<double>(durationS)).ptr;
    return text + " of " + std::string(duration, end) + " s, " + std::to_string(samples) +
           " samples";
}

} // namespace acquisition
