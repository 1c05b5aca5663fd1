#include "capture/reader.h"

#include "files/io_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace capture {
namespace {

const char* const kInvalid = "Invalid recording file";

TBlockInfo InfoOf(std::uint64_t offset, const TBlockHeader& header) {
    return {offset, header.FirstSample, 8ull * header.Bytes, header.Summary, header.Crc};
}

} // namespace

TRecordingReader::TRecordingReader(const std::string& path, TCheck check) : path_(path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        files::ThrowFileError(errno, path);
    try {
        struct stat info {};
        if (::fstat(fd_, &info) != 0)
            files::ThrowFileError(errno, path);
        if (!S_ISREG(info.st_mode))
            files::ThrowFileError(EISDIR, path);
        fileSize_ = static_cast<std::uint64_t>(info.st_size);
        std::vector<std::uint8_t> head(
            std::min<std::uint64_t>(fileSize_, kFixedHeaderSize + THeader::kMaxVersionText));
        if (!ReadAt(0, head.data(), head.size()))
            files::ThrowFileError(EIO, path);
        THeaderRead read = DecodeHeader(head.data(), head.size());
        if (!read.Error.empty())
            Throw(kInvalid, read.Error);
        header_ = std::move(read.Header);
        usedIndex_ = ReadIndex(read.Size);
        if (!usedIndex_)
            Scan(read.Size);
        else if (check == TCheck::Everything)
            CheckBlocks();
        if (!blocks_.empty())
            totalSamples_ = blocks_.back().FirstSample + blocks_.back().SampleCount;
        if (!bad_.empty())
            totalSamples_ =
                std::max(totalSamples_, bad_.back().FirstSample + bad_.back().SampleCount);
    } catch (...) {
        ::close(fd_);
        throw;
    }
}

TRecordingReader::~TRecordingReader() {
    ::close(fd_);
}

bool TRecordingReader::ReadAt(std::uint64_t offset, std::uint8_t* into, std::size_t size) const {
    while (size > 0) {
        const ssize_t got = ::pread(fd_, into, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            files::ThrowFileError(errno, path_);
        if (got == 0)
            return false;
        into += got;
        offset += static_cast<std::uint64_t>(got);
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

void TRecordingReader::Throw(const std::string& text, const std::string& detail) const {
    throw files::EInOutError(text, path_ + ": " + detail);
}

bool TRecordingReader::ReadIndex(std::uint64_t headerEnd) {
    const std::uint64_t least = kIndexHeadSize + 4 + kTrailerSize;
    if (fileSize_ < headerEnd + least)
        return false;
    std::uint8_t trailer[kTrailerSize];
    if (!ReadAt(fileSize_ - kTrailerSize, trailer, kTrailerSize) ||
        !std::equal(kTrailerMarker.begin(), kTrailerMarker.end(), trailer + 12))
        return false;
    const std::uint64_t indexOffset = GetU64(trailer);
    const std::uint64_t count = GetU32(trailer + 8);
    if (indexOffset < headerEnd || indexOffset > fileSize_ - least ||
        (fileSize_ - least - indexOffset) != count * kIndexEntrySize)
        return false;
    std::vector<std::uint8_t> index(kIndexHeadSize + count * kIndexEntrySize + 4);
    if (!ReadAt(indexOffset, index.data(), index.size()) ||
        !std::equal(kIndexMarker.begin(), kIndexMarker.end(), index.data()) ||
        GetU32(index.data() + 4) != count ||
        Crc32(index.data(), index.size() - 4) != GetU32(index.data() + index.size() - 4))
        return false;
    std::vector<TBlockInfo> blocks;
    blocks.reserve(count);
    std::uint64_t offset = headerEnd;
    std::uint64_t sample = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = index.data() + kIndexHeadSize + i * kIndexEntrySize;
        TBlockHeaderBytes bytes{};
        std::copy(kBlockMarker.begin(), kBlockMarker.end(), bytes.begin());
        std::memcpy(bytes.data() + 4, entry + 8, kBlockHeaderSize - 4);
        const std::optional<TBlockHeader> header = DecodeBlockHeader(bytes.data());
        if (!header || GetU64(entry) != offset || header->FirstSample != sample)
            return false;
        blocks.push_back(InfoOf(offset, *header));
        offset += kBlockHeaderSize + header->Bytes;
        sample += 8ull * header->Bytes;
    }
    if (offset != indexOffset)
        return false;
    blocks_ = std::move(blocks);
    return true;
}

void TRecordingReader::Scan(std::uint64_t headerEnd) {
    std::vector<std::uint8_t> block(kBlockHeaderSize + kMaxBlockBytes);
    std::uint64_t offset = headerEnd;
    std::uint64_t sample = 0;
    for (std::uint64_t number = 0; fileSize_ - offset >= kBlockHeaderSize; ++number) {
        if (!ReadAt(offset, block.data(), kBlockHeaderSize))
            break;
        const std::optional<TBlockHeader> header = DecodeBlockHeader(block.data());
        if (!header || fileSize_ - offset - kBlockHeaderSize < header->Bytes ||
            !ReadAt(offset + kBlockHeaderSize, block.data() + kBlockHeaderSize, header->Bytes))
            break;
        if (!BlockCrcMatches(block.data(), *header)) {
            bad_.push_back(
                {number, sample, 8ull * header->Bytes, sample * header_.SamplePeriodSeconds()});
        } else if (header->FirstSample != sample) {
            break;
        } else {
            blocks_.push_back(InfoOf(offset, *header));
        }
        offset += kBlockHeaderSize + header->Bytes;
        sample += 8ull * header->Bytes;
    }
}

void TRecordingReader::CheckBlocks() {
    std::vector<std::uint8_t> block(kBlockHeaderSize + kMaxBlockBytes);
    std::vector<TBlockInfo> good;
    good.reserve(blocks_.size());
    for (std::size_t number = 0; number < blocks_.size(); ++number) {
        const TBlockInfo& info = blocks_[number];
        if (ReadSound(info, block.data()))
            good.push_back(info);
        else
            bad_.push_back({number, info.FirstSample, info.SampleCount,
                            info.FirstSample * header_.SamplePeriodSeconds()});
    }
    blocks_ = std::move(good);
}

bool TRecordingReader::ReadSound(const TBlockInfo& info, std::uint8_t* block) const {
    const auto bytes = static_cast<std::uint32_t>(info.SampleCount / 8);
    if (!ReadAt(info.Offset, block, kBlockHeaderSize + bytes))
        return false;
    const std::optional<TBlockHeader> header = DecodeBlockHeader(block);
    return header && *header == TBlockHeader{bytes, info.FirstSample, info.Summary, info.Crc} &&
           BlockCrcMatches(block, *header);
}

std::vector<std::uint8_t> TRecordingReader::ReadBytes(std::uint64_t firstByte,
                                                      std::size_t count) const {
    if (firstByte > TotalSamples() / 8 || count > TotalSamples() / 8 - firstByte)
        throw std::out_of_range("samples beyond the recording's end");
    std::vector<std::uint8_t> bytes;
    bytes.reserve(count);
    std::vector<std::uint8_t> block(kBlockHeaderSize + kMaxBlockBytes);
    auto it =
        std::upper_bound(blocks_.begin(), blocks_.end(), 8 * firstByte,
                         [](std::uint64_t s, const TBlockInfo& b) { return s < b.FirstSample; });
    std::uint64_t at = firstByte;
    for (it = it == blocks_.begin() ? it : std::prev(it); bytes.size() < count; ++it) {
        const std::uint64_t start = it == blocks_.end() ? TotalSamples() / 8 : it->FirstSample / 8;
        const std::uint64_t size = it == blocks_.end() ? 0 : it->SampleCount / 8;
        if (at < start || at >= start + size || !ReadSound(*it, block.data())) {
            const std::uint64_t sample = 8 * at;
            Throw("Damaged block", "the samples from " + std::to_string(sample) + " (" +
                                       std::to_string(sample * header_.SamplePeriodSeconds()) +
                                       " s) are in a damaged block");
        }
        const std::uint64_t take = std::min<std::uint64_t>(start + size - at, count - bytes.size());
        const std::uint8_t* from = block.data() + kBlockHeaderSize + (at - start);
        bytes.insert(bytes.end(), from, from + take);
        at += take;
    }
    return bytes;
}

std::vector<std::uint8_t> TRecordingReader::ReadLevels(std::uint64_t first,
                                                       std::size_t count) const {
    if (first > TotalSamples() || count > TotalSamples() - first)
        throw std::out_of_range("samples beyond the recording's end");
    const std::uint64_t firstByte = first / 8;
    const std::vector<std::uint8_t> bytes =
        ReadBytes(firstByte, static_cast<std::size_t>((first + count + 7) / 8 - firstByte));
    std::vector<std::uint8_t> levels(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t bit = first + i - 8 * firstByte;
        levels[i] = (bytes[bit / 8] >> (7 - bit % 8)) & 1u;
    }
    return levels;
}

std::optional<std::vector<std::uint8_t>> TRecordingReader::BlockBytes(std::size_t block) const {
    const TBlockInfo& info = blocks_.at(block);
    std::vector<std::uint8_t> bytes(kBlockHeaderSize + info.SampleCount / 8);
    if (!ReadSound(info, bytes.data()))
        return std::nullopt;
    bytes.erase(bytes.begin(), bytes.begin() + kBlockHeaderSize);
    return bytes;
}

std::uint8_t TRecordingReader::StoredByte(std::size_t block, std::uint64_t byte) const {
    const TBlockInfo& info = blocks_.at(block);
    if (byte >= info.SampleCount / 8)
        throw std::out_of_range("byte beyond the block's end");
    std::uint8_t value = 0;
    if (!ReadAt(info.Offset + kBlockHeaderSize + byte, &value, 1))
        Throw(kInvalid, "the file ends inside block " + std::to_string(block));
    return value;
}

void TRecordingReader::WillRead(std::size_t block, std::uint64_t byte) const {
    ::posix_fadvise(fd_, static_cast<off_t>(blocks_.at(block).Offset + kBlockHeaderSize + byte), 1,
                    POSIX_FADV_WILLNEED);
}

} // namespace capture
