#pragma once
// Writes a recording file append-only: the header, then a block at each EndBlock (or whenever the
// block reaches kMaxBlockBytes), then at Close the index and the trailer. Whatever happens after a
// block is written, the file opens up to that block.
//
// Threading: one thread owns a writer and makes all its calls; it shares no state with others.

#include "capture/format.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace capture {

class TRecordingWriter {
public:
    // Creates the file at `path` (replacing one there) and writes the header.
    // Throws files::EInOutError with the operator's text when the file cannot be made or written.
    TRecordingWriter(std::string path, const THeader& header);
    // Closes as Close does, but quietly: an error there leaves the file without its index, which
    // the reader does without.
    ~TRecordingWriter();
    TRecordingWriter(const TRecordingWriter&) = delete;
    TRecordingWriter& operator=(const TRecordingWriter&) = delete;

    // Adds the device's bytes exactly as received to the current block; a full block is written.
    void Append(const std::uint8_t* data, std::size_t size);
    // Writes the current block, if it holds a byte. Call about once a second: a kill loses what
    // came after the last block written.
    void EndBlock();
    // Waits until the blocks written so far are on the disk (fdatasync).
    void Sync();
    // Writes the last block, the index and the trailer, and closes the file. Calls after it throw.
    void Close();

    // Every call that writes throws files::EInOutError on failure ("Disk is full" and the path).
    // The file is then cut back to its last whole block and the writer takes nothing more: each
    // later call throws the same error.

    std::uint64_t Samples() const { return 8 * (writtenBytes_ + block_.size() - kBlockHeaderSize); }
    std::uint64_t FileSize() const { return fileEnd_; }
    const std::string& Path() const { return path_; }

private:
    void WriteAll(const std::uint8_t* data, std::size_t size);
    void Fail(int error);
    void CheckOpen() const;

    std::string path_;
    int fd_ = -1;
    int error_ = 0;                   // the errno that stopped the writer, 0 while it works
    std::uint64_t fileEnd_ = 0;       // the end of the header or the last whole block
    std::uint64_t writtenBytes_ = 0;  // the device's bytes in whole blocks
    std::vector<std::uint8_t> block_; // room for the block's header, then its bytes so far
    std::vector<std::uint8_t> index_;
    std::uint32_t blocks_ = 0;
};

} // namespace capture
