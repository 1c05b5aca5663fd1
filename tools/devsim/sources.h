#pragma once
// The simulated signals: square wave, pulses, a square wave with a rare glitch, PRBS, the test
// pattern and a replayed data file, each as a stream of sample bytes (UART text, NEC codes and
// 1-Wire are in line_codes.h).

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "devsim/command_parser.h"
#include "devsim/options.h"

namespace devsim {

// The device's clock; a sample takes 6n + 12 of its cycles at divider n.
inline constexpr long double kClockHz = 11059200.0L;

long double SamplesPerSecond(unsigned divider);

// Produces the sample stream of one command, 8 samples per byte, the earliest in bit 7.
class SampleSource {
public:
    virtual ~SampleSource() = default;
    virtual std::uint8_t NextByte() = 0;
};

// Level 1 during the first `duty` of each period, beginning with the first sample.
class SquareSource final : public SampleSource {
public:
    SquareSource(long double cyclesPerSample, long double duty);
    std::uint8_t NextByte() override;

private:
    long double cyclesPerSample_;
    long double duty_;
    std::uint64_t sample_ = 0;
};

// A square wave of duty 0.5 with one narrow high pulse of `widthSamples` centred in the low half
// of its first period and of every `cyclesPerGlitch`-th period after it: the rare short pulse a
// recording of hours is searched for.
class GlitchSource final : public SampleSource {
public:
    GlitchSource(long double cyclesPerSample, std::uint64_t cyclesPerGlitch,
                 std::uint64_t widthSamples);
    std::uint8_t NextByte() override;

private:
    std::uint64_t PulseStart(std::uint64_t glitch) const;

    SquareSource square_;
    long double cyclesPerSample_;
    std::uint64_t cyclesPerGlitch_;
    std::uint64_t widthSamples_;
    std::uint64_t glitch_ = 0; // the pulse under way or due next
    std::uint64_t pulseStart_;
    std::uint64_t sample_ = 0;
};

// Marsaglia's xorshift32 with shifts 13, 17, 5. Seed 0 is a fixed point and not allowed.
class Xorshift32 {
public:
    explicit Xorshift32(std::uint32_t seed) : state_(seed) {}
    std::uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

private:
    std::uint32_t state_;
};

// The generator's words sent most significant byte first, so the bit stream is the words'
// bits from bit 31 down.
class PrbsSource final : public SampleSource {
public:
    explicit PrbsSource(std::uint32_t seed) : generator_(seed) {}
    std::uint8_t NextByte() override;

private:
    Xorshift32 generator_;
    std::uint32_t word_ = 0;
    int bytesLeft_ = 0;
};

// The test mode's pattern: byte k is k mod 256. A lost or doubled byte shows at once.
class TestPatternSource final : public SampleSource {
public:
    std::uint8_t NextByte() override { return counter_++; }

private:
    std::uint8_t counter_ = 0;
};

// Replays levels one per sample, from the first again after the last. The levels belong to
// the SignalFactory, which outlives every stream.
class ReplaySource final : public SampleSource {
public:
    explicit ReplaySource(const std::vector<bool>& levels) : levels_(levels) {}
    std::uint8_t NextByte() override;

private:
    const std::vector<bool>& levels_;
    std::size_t next_ = 0;
};

// Makes the source for each accepted command from the --source choice. A data file is read
// once, here, so a bad file is reported before the simulator offers its port.
class SignalFactory {
public:
    explicit SignalFactory(SourceChoice source); // throws UsageError for an unusable data file
    std::unique_ptr<SampleSource> Start(const Command& command) const;

private:
    SourceChoice source_;
    std::vector<bool> fileLevels_;
};

} // namespace devsim
