#pragma once
// The sweep decoder: the device's sample bytes turned into the levels of a trace, for the
// periodic and the single sweep, with or without waiting for an edge.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace acquisition {

// Where the samples go: `Levels`, the buffer of the sweep under way. When a sweep completes, the
// decoder calls SweepCompleted() before it writes any sample of the next one; the target may then
// hand the completed buffer over whole and point `Levels` at another buffer.
class TSweepTarget {
public:
    std::span<double> Levels;
    virtual void SweepCompleted() = 0;

protected:
    ~TSweepTarget() = default;
};

// The acquisition state of one recording and the decoding of the device's sample bytes into it.
//
// A byte carries eight samples, the earliest in bit 7. Each sample becomes the level 0.0 or 1.0 of
// one point of the sweep, written by index into the target's buffer; points are never added or
// moved here. The periodic sweep writes round and round; the single sweep takes the first sample as
// its reference level, starts writing at the first sample of the other level and ends when sample
// N + 1 after that edge arrives.
//
// A periodic sweep may wait for an edge instead of wrapping: once the trace is full, the first
// rising (or falling) edge after it becomes point 0, so a repetitive signal stands still. When no
// such edge comes within two sweep lengths, one sweep runs free.
//
// Window thread only, like everything of the recorder.
class TSweep {
public:
    enum TMode { smSingle, smPeriodic };
    enum TTrigger { tgFree, tgRising, tgFalling };

    struct TFeedResult {
        int CompletedSweeps = 0; // sweeps completed by this byte, each to be drawn anew
        bool Finished = false;   // single sweep full: stop reading, the rest is not wanted
    };

    // A new start: `SweepLength` points, writing from point 0.
    void Start(TMode mode, std::int32_t sweepLength, TTrigger trigger = tgFree);

    // Decodes one byte into the target. Writes never reach beyond its `Levels`, even when the
    // trace was replaced by fewer points than the sweep expects. Once a single sweep has finished,
    // further bytes are not wanted and change nothing.
    TFeedResult Feed(std::uint8_t byte, TSweepTarget& target);
    // The same into one buffer that every sweep overwrites from its start.
    TFeedResult Feed(std::uint8_t byte, std::span<double> levels);

    TMode Mode() const { return mode_; }
    std::int32_t SweepLength() const { return SweepLength_; }
    std::int32_t WriteIndex() const { return WriteIndex_; }
    bool Triggered() const { return Triggered_; }
    bool AwaitingFirstSample() const { return AwaitingFirstSample_; }
    std::uint32_t FirstLevel() const { return FirstLevel_; }
    TTrigger Trigger() const { return trigger_; }
    // A periodic sweep waiting for its edge: nothing is written meanwhile.
    bool AwaitingEdge() const { return AwaitingEdge_; }
    // The last wait for an edge ran out, and no edge has started a sweep since.
    bool NoTrigger() const { return NoTrigger_; }
    // Points of the sweep under way written so far; 0 while a periodic sweep waits for its edge,
    // before a single sweep's edge and after the single sweep has finished.
    std::int32_t UnderWay() const;

private:
    // Per kind of target, so that decoding in place costs no call at a sweep's end.
    template <class TTarget> TFeedResult FeedAny(std::uint8_t byte, TTarget& target);
    template <class TTarget> TFeedResult FeedPeriodic(std::uint8_t byte, TTarget& target);
    template <class TTarget> TFeedResult FeedTriggered(std::uint8_t byte, TTarget& target);
    template <class TTarget> TFeedResult FeedSingle(std::uint8_t byte, TTarget& target);
    void Write(std::span<double> levels, std::uint32_t sample);
    // Copies all eight samples of `byte` from WriteIndex on, when they all fit in the sweep.
    bool WriteWholeByte(std::uint8_t byte, std::span<double> levels);

    TMode mode_ = smPeriodic;
    std::int32_t SweepLength_ = 0;
    std::int32_t WriteIndex_ = 0;
    bool Triggered_ = false;
    bool AwaitingFirstSample_ = false;
    bool Finished_ = false;
    std::uint32_t FirstLevel_ = 0;
    TTrigger trigger_ = tgFree;
    bool AwaitingEdge_ = false;
    bool NoTrigger_ = false;
    // The latest sample, the level before a possible edge.
    std::uint32_t LastSample_ = 0;
    // Samples looked at since the wait for an edge began.
    std::int64_t Waited_ = 0;
};

// Where the first edge of a kind lies in a byte: the index 0 .. 7 of its first new sample, or 8
// when there is none. `before` is the sample preceding the byte.
int FirstEdge(TSweep::TTrigger trigger, std::uint32_t before, std::uint8_t byte);

// The sweep settings in words, for the comments of exported files: "single sweep of 0.001 s, 103
// samples", "periodic sweeps of …"; several sweeps recorded back to back are counted: "10
// periodic sweeps of 0.001 s, 1030 samples".
std::string SweepText(TSweep::TMode mode, int sweeps, long double durationS, std::size_t samples);

// The text shown for a line error code of the port; empty for an unknown code.
const char* LineErrorText(std::uint16_t code);

// A data reception error is shown as this prefix followed by the code's text.
inline constexpr const char* kLineErrorPrefix = "Ошибка приема данных: ";

} // namespace acquisition
