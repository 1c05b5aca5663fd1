#include "devsim/line_codes.h"

#include <bit>

namespace devsim {

UnitPatternSource::UnitPatternSource(std::vector<bool> units, std::uint64_t unitsPerSecondNum,
                                     std::uint64_t unitsPerSecondDen, unsigned divider)
    : units_(std::move(units)), step_((6ULL * divider + 12) * unitsPerSecondNum),
      perUnit_(static_cast<std::uint64_t>(kClockHz) * unitsPerSecondDen) {}

std::uint8_t UnitPatternSource::NextByte() {
    std::uint8_t byte = 0;
    for (int bit = 7; bit >= 0; --bit) {
        if (units_[unit_])
            byte |= static_cast<std::uint8_t>(1u << bit);
        // remainder_ / perUnit_ is how far into its unit the next sample falls.
        for (remainder_ += step_; remainder_ >= perUnit_; remainder_ -= perUnit_)
            unit_ = (unit_ + 1) % units_.size();
    }
    return byte;
}

namespace {

// The frame's time of idle before each repetition, so the first start bit is a falling edge.
std::size_t FrameBits(Parity parity) {
    return parity == Parity::None ? 10 : 11;
}

} // namespace

std::vector<bool> UartBits(std::string_view text, Parity parity) {
    std::vector<bool> bits(FrameBits(parity), true);
    for (const char c : text) {
        const auto byte = static_cast<std::uint8_t>(c);
        bits.push_back(false);
        for (int i = 0; i < 8; ++i)
            bits.push_back((byte >> i) & 1);
        const bool odd = std::popcount(byte) % 2 == 1;
        if (parity == Parity::Even)
            bits.push_back(odd);
        else if (parity == Parity::Odd)
            bits.push_back(!odd);
        bits.push_back(true);
    }
    return bits;
}

std::vector<bool> NecUnits(std::uint8_t address, std::uint8_t command) {
    std::vector<bool> units(71, true);
    auto burst = [&](std::size_t length, std::size_t space) {
        units.insert(units.end(), length, false);
        units.insert(units.end(), space, true);
    };
    burst(16, 8);
    for (const std::uint8_t byte : {address, static_cast<std::uint8_t>(~address), command,
                                    static_cast<std::uint8_t>(~command)})
        for (int i = 0; i < 8; ++i)
            burst(1, (byte >> i) & 1 ? 3 : 1);
    burst(1, 0);
    return units;
}

std::uint8_t OneWireCrc(const std::vector<std::uint8_t>& bytes) {
    std::uint8_t crc = 0;
    for (std::uint8_t byte : bytes)
        for (int i = 0; i < 8; ++i, byte >>= 1) {
            const bool mix = ((crc ^ byte) & 1) != 0;
            crc >>= 1;
            if (mix)
                crc ^= 0x8C; // the polynomial's bits 0..7 reflected
        }
    return crc;
}

std::vector<std::uint8_t> OneWireRom(std::uint64_t familyAndSerial) {
    std::vector<std::uint8_t> rom;
    for (int i = 0; i < 7; ++i)
        rom.push_back(static_cast<std::uint8_t>(familyAndSerial >> (8 * i)));
    rom.push_back(OneWireCrc(rom));
    return rom;
}

std::vector<bool> OneWireUnits(std::uint64_t familyAndSerial) {
    std::vector<bool> units(1000, true); // idle first, so the reset begins with a falling edge
    auto low = [&](std::size_t lowUs, std::size_t highUs) {
        units.insert(units.end(), lowUs, false);
        units.insert(units.end(), highUs, true);
    };
    low(500, 30);
    low(120, 350);
    // Slots of 70 us: the bus master writes a 1 or starts a read with 6 us low; a 0 written is
    // held low for 60 us, a 0 read by the device for 30 us.
    auto slots = [&](std::uint8_t byte, std::size_t zeroLowUs) {
        for (int i = 0; i < 8; ++i, byte >>= 1) {
            const std::size_t lowUs = byte & 1 ? 6 : zeroLowUs;
            low(lowUs, 70 - lowUs);
        }
    };
    slots(0x33, 60);
    for (const std::uint8_t byte : OneWireRom(familyAndSerial))
        slots(byte, 30);
    units.resize(10'000, true);
    return units;
}

} // namespace devsim
