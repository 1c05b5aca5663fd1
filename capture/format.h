#pragma once
// The .tlr recording file, byte for byte as docs/recording-format.md describes it: the header, the
// block headers, the index and the trailer, encoded and decoded. Fields are little-endian.

#include "capture/summary.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace capture {

inline constexpr std::array<std::uint8_t, 8> kFileMagic = {0x89, 'T',  'L',  'R',
                                                           '\r', '\n', 0x1A, '\n'};
inline constexpr std::uint16_t kFormatVersion = 1;
inline constexpr std::size_t kFixedHeaderSize = 46; // the header without its version text
inline constexpr std::size_t kBlockHeaderSize = 56;
inline constexpr std::size_t kMaxBlockBytes = 64 * 1024;
inline constexpr std::size_t kIndexEntrySize = 60;
inline constexpr std::size_t kIndexHeadSize = 8; // "TLRI" and the block count
inline constexpr std::size_t kTrailerSize = 16;

// Sweep modes and triggers as the window offers them.
enum TSweepMode : std::uint8_t { smSingle = 0, smPeriodic = 1 };
// The single sweep starts at the first change of level; a periodic sweep may wait for an edge.
enum TTrigger : std::uint8_t { trNone = 0, trFirstChange = 1, trRising = 2, trFalling = 3 };

struct THeader {
    std::uint32_t Divider = 0;          // the device's n: a sample every (6n + 12) / 11059200 s
    std::int64_t StartMicroseconds = 0; // the first sample's time, UTC, since 1970-01-01
    std::uint32_t Baud = 115200;
    std::uint8_t DataBits = 8;
    std::uint8_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopHalfBits = 2; // stop bits in halves: 2, 3 (one and a half) or 4
    std::uint8_t SweepMode = smPeriodic;
    std::uint32_t SweepMilliseconds = 0;
    std::uint8_t Trigger = trNone;
    std::string ProgramVersion; // UTF-8, at most kMaxVersionText bytes

    static constexpr std::size_t kMaxVersionText = 1024;

    // The exact period is the fraction (6n + 12) / 11059200; this is its nearest double.
    double SamplePeriodSeconds() const { return (6.0 * Divider + 12.0) / 11059200.0; }
    bool operator==(const THeader&) const = default;
};

// The header's bytes; a version text longer than kMaxVersionText is cut.
std::string EncodeHeader(const THeader& header);

// The header at the start of `data` and its size in bytes, or why these bytes are none.
struct THeaderRead {
    THeader Header;
    std::size_t Size = 0;
    std::string Error;
};
THeaderRead DecodeHeader(const std::uint8_t* data, std::size_t size);

// What precedes each block's bytes: its length, the number of its first sample in the recording,
// its summary and the CRC-32 of the first 52 header bytes followed by the block's bytes.
struct TBlockHeader {
    std::uint32_t Bytes = 0;
    std::uint64_t FirstSample = 0;
    TBlockSummary Summary;
    std::uint32_t Crc = 0;
    bool operator==(const TBlockHeader&) const = default;
};
using TBlockHeaderBytes = std::array<std::uint8_t, kBlockHeaderSize>;

// The header with its CRC worked out over `payload`.
TBlockHeaderBytes EncodeBlockHeader(TBlockHeader header, const std::uint8_t* payload);
// The fields of a block header, or nothing when its marker is wrong or its length out of range.
std::optional<TBlockHeader> DecodeBlockHeader(const std::uint8_t* data);
// Whether the header's CRC matches these bytes, `data` holding the header and then the payload.
bool BlockCrcMatches(const std::uint8_t* data, const TBlockHeader& header);

// The markers of a block, of the index and of the trailer. The index: "TLRI", the block count,
// per block its offset and its header's bytes 4 to 55, then a CRC-32 of all that. The trailer,
// the file's last 16 bytes: the index's offset, the block count and "TLRE".
inline constexpr std::array<std::uint8_t, 4> kBlockMarker = {'T', 'L', 'R', 'B'};
inline constexpr std::array<std::uint8_t, 4> kIndexMarker = {'T', 'L', 'R', 'I'};
inline constexpr std::array<std::uint8_t, 4> kTrailerMarker = {'T', 'L', 'R', 'E'};

// zlib's CRC-32 of any length, continuing `crc`; and the little-endian fields.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);
void PutU32(std::uint8_t* out, std::uint32_t value);
void PutU64(std::uint8_t* out, std::uint64_t value);
std::uint32_t GetU32(const std::uint8_t* in);
std::uint64_t GetU64(const std::uint8_t* in);

} // namespace capture
