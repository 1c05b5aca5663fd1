#pragma once
// The edges in the device's bytes, found a byte at a time; eight bytes of samples at the current
// level are passed at once, which is nearly all of a slow signal.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace capture {

// Calls onEdge(offset, level) for each edge of `size` bytes in order: `offset` counts samples from
// the first byte's first sample (bit 7), `level` (0 or 1) is the level the edge begins. The first
// sample is no edge: the level before it is not in the bytes.
template <class TOnEdge>
void ForEachEdge(const std::uint8_t* bytes, std::size_t size, TOnEdge&& onEdge) {
    if (size == 0)
        return;
    unsigned last = bytes[0] >> 7; // the level of the sample before the current byte
    std::size_t i = 0;
    while (i < size) {
        // Eight bytes without an edge are passed at once.
        if (size - i >= 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes + i, sizeof word);
            if (word == (last != 0 ? ~std::uint64_t{0} : 0)) {
                i += 8;
                continue;
            }
        }
        const unsigned byte = bytes[i];
        // A bit of `changes` is set where a sample differs from the one before it.
        unsigned changes = (byte ^ ((byte >> 1) | (last << 7))) & 0xFFu;
        while (changes != 0) {
            const int k = std::countl_zero(static_cast<std::uint8_t>(changes)); // 0 is bit 7
            onEdge(static_cast<std::uint64_t>(i) * 8 + static_cast<unsigned>(k),
                   (byte >> (7 - k)) & 1u);
            changes &= ~(0x80u >> k);
        }
        last = byte & 1u;
        ++i;
    }
}

} // namespace capture
