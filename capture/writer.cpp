#include "capture/writer.h"

#include "files/io_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace capture {

TRecordingWriter::TRecordingWriter(std::string path, const THeader& header)
    : path_(std::move(path)) {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0)
        files::ThrowFileError(errno, path_);
    block_.reserve(kBlockHeaderSize + kMaxBlockBytes);
    block_.resize(kBlockHeaderSize);
    std::copy(kIndexMarker.begin(), kIndexMarker.end(), std::back_inserter(index_));
    index_.resize(kIndexHeadSize);
    const std::string bytes = EncodeHeader(header);
    try {
        WriteAll(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    } catch (...) {
        ::close(fd_);
        throw;
    }
    fileEnd_ = bytes.size();
}

TRecordingWriter::~TRecordingWriter() {
    if (fd_ < 0)
        return;
    try {
        Close();
    } catch (const files::EInOutError&) {
        ::close(fd_);
    }
}

void TRecordingWriter::CheckOpen() const {
    if (error_ != 0)
        files::ThrowFileError(error_, path_);
    if (fd_ < 0)
        files::ThrowFileError(EBADF, path_);
}

void TRecordingWriter::Append(const std::uint8_t* data, std::size_t size) {
    CheckOpen();
    while (size > 0) {
        const std::size_t piece = std::min(size, kBlockHeaderSize + kMaxBlockBytes - block_.size());
        block_.insert(block_.end(), data, data + piece);
        data += piece;
        size -= piece;
        if (block_.size() == kBlockHeaderSize + kMaxBlockBytes)
            EndBlock();
    }
}

void TRecordingWriter::EndBlock() {
    CheckOpen();
    if (block_.size() == kBlockHeaderSize)
        return;
    std::uint8_t* payload = block_.data() + kBlockHeaderSize;
    TBlockHeader header;
    header.Bytes = static_cast<std::uint32_t>(block_.size() - kBlockHeaderSize);
    header.FirstSample = 8 * writtenBytes_;
    header.Summary = Summarise(payload, header.Bytes);
    const TBlockHeaderBytes head = EncodeBlockHeader(header, payload);
    // Header and bytes go in one write, and a failed write is cut back off: a block is either
    // whole in the file or not there.
    std::copy(head.begin(), head.end(), block_.begin());
    WriteAll(block_.data(), block_.size());
    std::uint8_t entry[kIndexEntrySize];
    PutU64(entry, fileEnd_);
    std::memcpy(entry + 8, head.data() + 4, kBlockHeaderSize - 4);
    index_.insert(index_.end(), entry, entry + kIndexEntrySize);
    ++blocks_;
    fileEnd_ += block_.size();
    writtenBytes_ += header.Bytes;
    block_.resize(kBlockHeaderSize);
}

void TRecordingWriter::Sync() {
    CheckOpen();
    if (::fdatasync(fd_) != 0)
        Fail(errno);
}

void TRecordingWriter::Close() {
    EndBlock();
    PutU32(index_.data() + 4, blocks_);
    std::uint8_t tail[4 + kTrailerSize];
    PutU32(tail, Crc32(index_.data(), index_.size()));
    PutU64(tail + 4, fileEnd_);
    PutU32(tail + 12, blocks_);
    std::copy(kTrailerMarker.begin(), kTrailerMarker.end(), tail + 16);
    index_.insert(index_.end(), tail, tail + sizeof tail);
    WriteAll(index_.data(), index_.size());
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        files::ThrowFileError(errno, path_);
}

void TRecordingWriter::WriteAll(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd_, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            Fail(written < 0 ? errno : ENOSPC);
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void TRecordingWriter::Fail(int error) {
    error_ = error;
    // A part of a block would make the blocks after it unreachable to a scan: cut it off.
    if (::ftruncate(fd_, static_cast<off_t>(fileEnd_)) == 0)
        ::lseek(fd_, static_cast<off_t>(fileEnd_), SEEK_SET);
    files::ThrowFileError(error, path_);
}

} // namespace capture
