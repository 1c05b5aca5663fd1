#include "capture/format.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace capture {
namespace {

void PutU16(std::uint8_t* out, std::uint16_t value) {
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t GetU16(const std::uint8_t* in) {
    return static_cast<std::uint16_t>(in[0] | in[1] << 8);
}

bool HasMarker(const std::uint8_t* data, const std::array<std::uint8_t, 4>& marker) {
    return std::equal(marker.begin(), marker.end(), data);
}

} // namespace

void PutU32(std::uint8_t* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutU64(std::uint8_t* out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetU32(const std::uint8_t* in) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | in[i];
    return value;
}

std::uint64_t GetU64(const std::uint8_t* in) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | in[i];
    return value;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
    // zlib takes at most a uInt at a time.
    while (size > 0) {
        const uInt piece = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
        crc = static_cast<std::uint32_t>(::crc32(crc, data, piece));
        data += piece;
        size -= piece;
    }
    return crc;
}

std::string EncodeHeader(const THeader& header) {
    const std::size_t textSize = std::min(header.ProgramVersion.size(), THeader::kMaxVersionText);
    std::string bytes(kFixedHeaderSize + textSize, '\0');
    auto* out = reinterpret_cast<std::uint8_t*>(bytes.data());
    std::copy(kFileMagic.begin(), kFileMagic.end(), out);
    PutU16(out + 8, kFormatVersion);
    PutU16(out + 10, static_cast<std::uint16_t>(bytes.size()));
    PutU32(out + 12, header.Divider);
    PutU64(out + 16, static_cast<std::uint64_t>(header.StartMicroseconds));
    PutU32(out + 24, header.Baud);
    out[28] = header.DataBits;
    out[29] = header.Parity;
    out[30] = header.StopHalfBits;
    out[31] = header.SweepMode;
    PutU32(out + 32, header.SweepMilliseconds);
    out[36] = header.Trigger;
    PutU16(out + 40, static_cast<std::uint16_t>(textSize));
    std::memcpy(out + 42, header.ProgramVersion.data(), textSize);
    PutU32(out + 42 + textSize, Crc32(out, 42 + textSize));
    return bytes;
}

THeaderRead DecodeHeader(const std::uint8_t* data, std::size_t size) {
    THeaderRead read;
    if (size < kFixedHeaderSize) {
        read.Error = "the header is cut short";
        return read;
    }
    if (!std::equal(kFileMagic.begin(), kFileMagic.end(), data)) {
        read.Error = "not a recording file";
        return read;
    }
    const std::uint16_t version = GetU16(data + 8);
    if (version != kFormatVersion) {
        read.Error = "format version " + std::to_string(version) + " is not one this program reads";
        return read;
    }
    const std::size_t textSize = GetU16(data + 40);
    const std::size_t headerSize = GetU16(data + 10);
    if (textSize > THeader::kMaxVersionText || headerSize != kFixedHeaderSize + textSize) {
        read.Error = "the header's length is wrong";
        return read;
    }
    if (size < headerSize) {
        read.Error = "the header is cut short";
        return read;
    }
    if (Crc32(data, 42 + textSize) != GetU32(data + 42 + textSize)) {
        read.Error = "the header is damaged (CRC)";
        return read;
    }
    THeader& h = read.Header;
    h.Divider = GetU32(data + 12);
    h.StartMicroseconds = static_cast<std::int64_t>(GetU64(data + 16));
    h.Baud = GetU32(data + 24);
    h.DataBits = data[28];
    h.Parity = data[29];
    h.StopHalfBits = data[30];
    h.SweepMode = data[31];
    h.SweepMilliseconds = GetU32(data + 32);
    h.Trigger = data[36];
    h.ProgramVersion.assign(reinterpret_cast<const char*>(data + 42), textSize);
    read.Size = headerSize;
    return read;
}

TBlockHeaderBytes EncodeBlockHeader(TBlockHeader header, const std::uint8_t* payload) {
    TBlockHeaderBytes bytes{};
    std::uint8_t* out = bytes.data();
    std::copy(kBlockMarker.begin(), kBlockMarker.end(), out);
    PutU32(out + 4, header.Bytes);
    PutU64(out + 8, header.FirstSample);
    const TBlockSummary& s = header.Summary;
    out[16] = s.StartLevel;
    out[17] = s.EndLevel;
    const std::uint32_t counts[] = {s.RisingEdges, s.FallingEdges, s.ShortestHigh, s.LongestHigh,
                                    s.ShortestLow, s.LongestLow,   s.LeadRun,      s.TailRun};
    for (std::size_t i = 0; i < std::size(counts); ++i)
        PutU32(out + 20 + 4 * i, counts[i]);
    PutU32(out + 52, Crc32(payload, header.Bytes, Crc32(out, 52)));
    return bytes;
}

std::optional<TBlockHeader> DecodeBlockHeader(const std::uint8_t* data) {
    if (!HasMarker(data, kBlockMarker))
        return std::nullopt;
    TBlockHeader header;
    header.Bytes = GetU32(data + 4);
    if (header.Bytes == 0 || header.Bytes > kMaxBlockBytes)
        return std::nullopt;
    header.FirstSample = GetU64(data + 8);
    TBlockSummary& s = header.Summary;
    s.StartLevel = data[16];
    s.EndLevel = data[17];
    std::uint32_t* counts[] = {&s.RisingEdges, &s.FallingEdges, &s.ShortestHigh, &s.LongestHigh,
                               &s.ShortestLow, &s.LongestLow,   &s.LeadRun,      &s.TailRun};
    for (std::size_t i = 0; i < std::size(counts); ++i)
        *counts[i] = GetU32(data + 20 + 4 * i);
    header.Crc = GetU32(data + 52);
    return header;
}

bool BlockCrcMatches(const std::uint8_t* data, const TBlockHeader& header) {
    return Crc32(data + kBlockHeaderSize, header.Bytes, Crc32(data, 52)) == header.Crc;
}

} // namespace capture
