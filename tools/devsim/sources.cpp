#include "devsim/sources.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "devsim/level_file.h"
#include "devsim/line_codes.h"

namespace devsim {

long double SamplesPerSecond(unsigned divider) {
    return kClockHz / (6.0L * divider + 12.0L);
}

SquareSource::SquareSource(long double cyclesPerSample, long double duty)
    : cyclesPerSample_(cyclesPerSample), duty_(duty) {}

std::uint8_t SquareSource::NextByte() {
    std::uint8_t byte = 0;
    for (int bit = 7; bit >= 0; --bit, ++sample_) {
        // The phase comes from the sample index, not from a running sum, so it cannot drift.
        long double cycles = static_cast<long double>(sample_) * cyclesPerSample_;
        if (cycles - std::floor(cycles) < duty_)
            byte |= static_cast<std::uint8_t>(1u << bit);
    }
    return byte;
}

GlitchSource::GlitchSource(long double cyclesPerSample, std::uint64_t cyclesPerGlitch,
                           std::uint64_t widthSamples)
    : square_(cyclesPerSample, 0.5L), cyclesPerSample_(cyclesPerSample),
      cyclesPerGlitch_(cyclesPerGlitch), widthSamples_(widthSamples), pulseStart_(PulseStart(0)) {}

std::uint64_t GlitchSource::PulseStart(std::uint64_t glitch) const {
    // From the pulse's index, like the square wave's phase, so hours of pulses cannot drift.
    const long double centre =
        (static_cast<long double>(glitch * cyclesPerGlitch_) + 0.75L) / cyclesPerSample_;
    return static_cast<std::uint64_t>(
        std::floor(centre - static_cast<long double>(widthSamples_) / 2 + 0.5L));
}

std::uint8_t GlitchSource::NextByte() {
    std::uint8_t byte = square_.NextByte();
    for (int bit = 7; bit >= 0; --bit, ++sample_) {
        // A loop, as at a slow divider pulses may come closer than a sample apart.
        while (sample_ >= pulseStart_ + widthSamples_)
            pulseStart_ = PulseStart(++glitch_);
        if (sample_ >= pulseStart_)
            byte |= static_cast<std::uint8_t>(1u << bit);
    }
    return byte;
}

std::uint8_t PrbsSource::NextByte() {
    if (bytesLeft_ == 0) {
        word_ = generator_.Next();
        bytesLeft_ = 4;
    }
    --bytesLeft_;
    return static_cast<std::uint8_t>(word_ >> (8 * bytesLeft_));
}

std::uint8_t ReplaySource::NextByte() {
    std::uint8_t byte = 0;
    for (int bit = 7; bit >= 0; --bit) {
        if (levels_[next_])
            byte |= static_cast<std::uint8_t>(1u << bit);
        next_ = (next_ + 1) % levels_.size();
    }
    return byte;
}

SignalFactory::SignalFactory(SourceChoice source) : source_(std::move(source)) {
    if (source_.kind != SourceChoice::Kind::File)
        return;
    std::ifstream file(source_.path, std::ios::binary);
    if (!file)
        throw UsageError("cannot read the data file \"" + source_.path + "\"");
    std::ostringstream text;
    text << file.rdbuf();
    try {
        fileLevels_ = ParseLevels(text.str());
    } catch (const std::runtime_error& e) {
        throw UsageError("data file \"" + source_.path + "\": " + e.what());
    }
}

std::unique_ptr<SampleSource> SignalFactory::Start(const Command& command) const {
    if (command.test)
        return std::make_unique<TestPatternSource>();
    const long double sampleSeconds = 1.0L / SamplesPerSecond(command.divider);
    switch (source_.kind) {
    case SourceChoice::Kind::Square:
        return std::make_unique<SquareSource>(source_.frequencyHz * sampleSeconds, source_.duty);
    case SourceChoice::Kind::Pulses:
        // A pulse train is a square wave whose duty is the pulse's share of the period.
        return std::make_unique<SquareSource>(sampleSeconds * 1e6L / source_.periodUs,
                                              static_cast<long double>(source_.widthUs) /
                                                  source_.periodUs);
    case SourceChoice::Kind::Glitch: {
        // Whole samples, never none: a slow divider still shows the glitch, one sample wide.
        const long long width = std::llround(source_.widthUs * 1e-6L / sampleSeconds);
        return std::make_unique<GlitchSource>(
            source_.frequencyHz * sampleSeconds,
            static_cast<std::uint64_t>(std::llround(source_.periodMs * source_.frequencyHz / 1000)),
            static_cast<std::uint64_t>(std::max(1LL, width)));
    }
    case SourceChoice::Kind::Prbs:
        return std::make_unique<PrbsSource>(source_.seed);
    case SourceChoice::Kind::File:
        return std::make_unique<ReplaySource>(fileLevels_);
    case SourceChoice::Kind::Uart:
        return std::make_unique<UnitPatternSource>(UartBits(source_.uartText, source_.parity),
                                                   source_.baud, 1, command.divider);
    case SourceChoice::Kind::Nec:
        return std::make_unique<UnitPatternSource>(NecUnits(source_.address, source_.command),
                                                   kNecUnitsPerSecondNum, kNecUnitsPerSecondDen,
                                                   command.divider);
    case SourceChoice::Kind::OneWire:
        return std::make_unique<UnitPatternSource>(OneWireUnits(source_.rom),
                                                   kOneWireUnitsPerSecond, 1, command.divider);
    }
    return nullptr;
}

} // namespace devsim
