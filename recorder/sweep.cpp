#include "recorder/sweep.h"

#include <array>
#include <cstring>

namespace recorder {
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

} // namespace

void TSweep::Start(TMode mode, std::int32_t sweepLength) {
    mode_ = mode;
    SweepLength_ = sweepLength;
    WriteIndex_ = 0;
    Triggered_ = false;
    AwaitingFirstSample_ = true;
}

TSweep::TFeedResult TSweep::Feed(std::uint8_t byte, std::span<double> levels) {
    return mode_ == smPeriodic ? FeedPeriodic(byte, levels) : FeedSingle(byte, levels);
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

TSweep::TFeedResult TSweep::FeedPeriodic(std::uint8_t byte, std::span<double> levels) {
    TFeedResult result;
    if (WriteWholeByte(byte, levels))
        return result;
    for (int k = 0; k < 8; ++k) {
        // The test comes before the write, so sample N + 1 of a round wraps to point 0.
        if (WriteIndex_ >= SweepLength_) {
            ++result.CompletedSweeps;
            WriteIndex_ = 0;
        }
        Write(levels, Sample(byte, k));
    }
    return result;
}

TSweep::TFeedResult TSweep::FeedSingle(std::uint8_t byte, std::span<double> levels) {
    TFeedResult result;
    if (Triggered_ && WriteWholeByte(byte, levels))
        return result;
    for (int k = 0; k < 8; ++k) {
        const std::uint32_t s = Sample(byte, k);
        if (AwaitingFirstSample_) {
            FirstLevel_ = s;
            AwaitingFirstSample_ = false;
        } else if (Triggered_) {
            if (WriteIndex_ >= SweepLength_) {
                result.CompletedSweeps = 1;
                result.Finished = true;
                return result;
            }
            Write(levels, s);
        } else if (s != FirstLevel_) {
            Triggered_ = true;
            Write(levels, s);
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

} // namespace recorder
