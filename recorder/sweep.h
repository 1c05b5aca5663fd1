#pragma once

#include <cstdint>
#include <span>

namespace recorder {

// The acquisition state of one recording and the decoding of the device's sample bytes into it.
//
// A byte carries eight samples, the earliest in bit 7. Each sample becomes the level 0.0 or 1.0 of
// one point of the trace, written by index into the trace's level list; points are never added or
// moved here. The periodic sweep writes round and round; the single sweep takes the first sample as
// its reference level, starts writing at the first sample of the other level and ends when sample
// N + 1 after that edge arrives.
//
// Window thread only, like everything of the recorder.
class TSweep {
public:
    enum TMode { smSingle, smPeriodic };

    struct TFeedResult {
        int CompletedSweeps = 0; // sweeps completed by this byte, each to be drawn anew
        bool Finished = false;   // single sweep full: stop reading, the rest is not wanted
    };

    // A new start: `SweepLength` points, writing from point 0.
    void Start(TMode mode, std::int32_t sweepLength);

    // Decodes one byte into `levels`, the trace's level list as it stands now. Writes never reach
    // beyond `levels`, even when the trace was replaced by fewer points than the sweep expects.
    TFeedResult Feed(std::uint8_t byte, std::span<double> levels);

    TMode Mode() const { return mode_; }
    std::int32_t SweepLength() const { return SweepLength_; }
    std::int32_t WriteIndex() const { return WriteIndex_; }
    bool Triggered() const { return Triggered_; }
    bool AwaitingFirstSample() const { return AwaitingFirstSample_; }
    std::uint32_t FirstLevel() const { return FirstLevel_; }

private:
    TFeedResult FeedPeriodic(std::uint8_t byte, std::span<double> levels);
    TFeedResult FeedSingle(std::uint8_t byte, std::span<double> levels);
    void Write(std::span<double> levels, std::uint32_t sample);
    // Copies all eight samples of `byte` from WriteIndex on, when they all fit in the sweep.
    bool WriteWholeByte(std::uint8_t byte, std::span<double> levels);

    TMode mode_ = smPeriodic;
    std::int32_t SweepLength_ = 0;
    std::int32_t WriteIndex_ = 0;
    bool Triggered_ = false;
    bool AwaitingFirstSample_ = false;
    std::uint32_t FirstLevel_ = 0;
};

// The text shown for a line error code of the port; empty for an unknown code.
const char* LineErrorText(std::uint16_t code);

// A data reception error is shown as this prefix followed by the code's text.
inline constexpr const char* kLineErrorPrefix = "Ошибка приема данных: ";

} // namespace recorder
