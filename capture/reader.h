#pragma once
// Opens a recording file: its header, its blocks and their summaries, and the samples of any range.
// The index at the file's end gives the blocks when it is there and agrees with itself; without
// it (a recording cut short by a crash, a kill or a power cut) the blocks are found by scanning
// from the header, up to the last whole one. A block whose CRC fails is reported and left out:
// its samples are a hole, and the blocks after it keep their own sample numbers and times.
//
// Threading: the reader changes nothing after opening; its const calls may come from any thread.

#include "capture/format.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace capture {

struct TBlockInfo {
    std::uint64_t Offset = 0;      // of the block's header in the file
    std::uint64_t FirstSample = 0; // number in the recording of its first sample
    std::uint64_t SampleCount = 0; // 8 a byte
    TBlockSummary Summary;
    std::uint32_t Crc = 0;
};

struct TBadBlock {
    std::uint64_t Number = 0; // the block's place in the file, from 0
    std::uint64_t FirstSample = 0;
    std::uint64_t SampleCount = 0;
    double Seconds = 0; // its time from the recording's start: FirstSample × period
};

class TRecordingReader {
public:
    // How much is checked on opening. Everything: each block is read and its CRC checked (one
    // pass over the file). Index: a valid index is believed, and a block's CRC is checked when its
    // samples are read, which throws on a damaged one.
    enum class TCheck { Everything, Index };

    // Throws files::EInOutError when the file cannot be read or its header is bad (the text says
    // what, the detail names the file).
    explicit TRecordingReader(const std::string& path, TCheck check = TCheck::Everything);
    ~TRecordingReader();
    TRecordingReader(const TRecordingReader&) = delete;
    TRecordingReader& operator=(const TRecordingReader&) = delete;

    const THeader& Header() const { return header_; }
    const std::vector<TBlockInfo>& Blocks() const { return blocks_; }
    const std::vector<TBadBlock>& BadBlocks() const { return bad_; }
    bool UsedIndex() const { return usedIndex_; }
    // One past the last sample of the last block, good or damaged.
    std::uint64_t TotalSamples() const { return totalSamples_; }

    // The device's bytes holding samples [8 × firstByte, 8 × (firstByte + count)), and the samples
    // [first, first + count) as one level (0 or 1) a byte. Throws std::out_of_range beyond
    // TotalSamples, files::EInOutError over a hole or a damaged block or on a read error.
    std::vector<std::uint8_t> ReadBytes(std::uint64_t firstByte, std::size_t count) const;
    std::vector<std::uint8_t> ReadLevels(std::uint64_t first, std::size_t count) const;

    // The bytes of Blocks()[block], their CRC checked: nothing when the block does not match it.
    // Throws files::EInOutError on a read error.
    std::optional<std::vector<std::uint8_t>> BlockBytes(std::size_t block) const;
    // Byte `byte` of Blocks()[block] as stored, its CRC not checked: the samples at one place
    // without reading the whole block. Throws files::EInOutError when the file has lost it.
    std::uint8_t StoredByte(std::size_t block, std::uint64_t byte) const;
    // Tells the system that StoredByte(block, byte) comes soon, so that the reads of many such
    // bytes run at once rather than one after the other.
    void WillRead(std::size_t block, std::uint64_t byte) const;

private:
    bool ReadIndex(std::uint64_t headerEnd);
    void Scan(std::uint64_t headerEnd);
    void CheckBlocks();
    // Reads the block into `block` (room for the largest); whether it is the one the index
    // describes and its CRC holds.
    bool ReadSound(const TBlockInfo& info, std::uint8_t* block) const;
    bool ReadAt(std::uint64_t offset, std::uint8_t* into, std::size_t size) const;
    [[noreturn]] void Throw(const std::string& text, const std::string& detail) const;

    std::string path_;
    int fd_ = -1;
    std::uint64_t fileSize_ = 0;
    THeader header_;
    std::vector<TBlockInfo> blocks_;
    std::vector<TBadBlock> bad_;
    bool usedIndex_ = false;
    std::uint64_t totalSamples_ = 0;
};

} // namespace capture
