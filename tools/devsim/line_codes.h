#pragma once
// Sources that speak a protocol on the line: UART text, NEC infra-red codes and a 1-Wire ROM
// read, each a pattern of levels on a time grid of its own (a bit of the baud rate, the NEC's
// 562.5 us unit, a microsecond) that the samples fall on.

#include <cstdint>
#include <string_view>
#include <vector>

#include "devsim/options.h"
#include "devsim/sources.h"

namespace devsim {

// Repeats `units`, each lasting 1 / (unitsPerSecondNum / unitsPerSecondDen) s; sample k carries
// the level of the unit that its moment k T falls in. Kept in whole numbers (the sample period
// is (6n + 12) / 11059200 s), so the samples stay on the grid for ever.
class UnitPatternSource final : public SampleSource {
public:
    UnitPatternSource(std::vector<bool> units, std::uint64_t unitsPerSecondNum,
                      std::uint64_t unitsPerSecondDen, unsigned divider);
    std::uint8_t NextByte() override;

private:
    std::vector<bool> units_;
    std::uint64_t step_;      // added to the remainder each sample
    std::uint64_t perUnit_;   // a remainder this large is one unit more
    std::uint64_t remainder_ = 0;
    std::size_t unit_ = 0;
};

// One repetition of UART text: a frame's time of idle (high), then each byte as a start bit
// (low), 8 data bits least significant first, the parity bit if any and a stop bit (high).
std::vector<bool> UartBits(std::string_view text, Parity parity);

// The NEC unit: 562.5 us, 16000 / 9 units a second.
inline constexpr std::uint64_t kNecUnitsPerSecondNum = 16000;
inline constexpr std::uint64_t kNecUnitsPerSecondDen = 9;

// One repetition of an NEC frame as a demodulating receiver gives it, idle high and a burst low:
// 71 units idle, then the 16-unit leader burst, 8 units space, the address, its inverse, the
// command and its inverse, each least significant bit first as a one-unit burst and a space of
// one unit (0) or three (1), and a closing one-unit burst. 192 units, 108 ms, start to start.
std::vector<bool> NecUnits(std::uint8_t address, std::uint8_t command);

// The 1-Wire check byte of `bytes`: the CRC with polynomial x^8 + x^5 + x^4 + 1, shifted in
// least significant bit first from 0. A ROM whose eighth byte is the CRC of its first seven has
// a CRC of 0 over all eight.
std::uint8_t OneWireCrc(const std::vector<std::uint8_t>& bytes);

// The eight ROM bytes of a 1-Wire device in the order it sends them: the family code (the lowest
// byte of `familyAndSerial`), the six serial bytes least significant first, then their CRC.
std::vector<std::uint8_t> OneWireRom(std::uint64_t familyAndSerial);

// A 1-Wire microsecond, the grid of its standard speed.
inline constexpr std::uint64_t kOneWireUnitsPerSecond = 1'000'000;

// One repetition of a standard-speed Read ROM, idle high, in microseconds: 1000 idle, 500 low
// (reset), 30 high, the device's 120 low (presence), high to 500 after the reset, then 72 time
// slots of 70 (a 1: 6 low, a 0: 60 low written or 30 low read): the command 0x33 and the
// device's eight ROM bytes, each least significant bit first, and idle to 10 ms from the start.
std::vector<bool> OneWireUnits(std::uint64_t familyAndSerial);

} // namespace devsim
