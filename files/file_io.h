#pragma once
// Whole-file reading and writing for the trace files. Failures throw EInOutError.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace files {

// The content of a file, mapped into memory for as long as this lives (read into it when the
// file cannot be mapped, as a pipe).
class TFileContent {
public:
    explicit TFileContent(const std::string& path);
    ~TFileContent();
    TFileContent(const TFileContent&) = delete;
    TFileContent& operator=(const TFileContent&) = delete;

    std::string_view View() const { return {data_, size_}; }

private:
    const char* data_ = nullptr;
    std::size_t size_ = 0;
    bool mapped_ = false;
    std::string read_;
};

// A file opened for reading piece by piece, which also serves a pipe or a device that never ends.
class TFileReader {
public:
    explicit TFileReader(const std::string& path);
    TFileReader(const TFileReader&) = delete;
    TFileReader& operator=(const TFileReader&) = delete;
    ~TFileReader();

    // The next bytes, at most `room` of them, into `into`: their count, 0 at the end.
    std::size_t Read(char* into, std::size_t room);
    // The size of a plain file; 0 for a pipe or a device.
    std::size_t Size() const { return size_; }

private:
    std::string path_;
    int fd_ = -1;
    std::size_t size_ = 0;
};

// Gives the file at `path` the content `bytes`. The old file stays whole until the new one is:
// the bytes go to a temporary file beside it (beside a symbolic link's target, so the link stays
// a link and a dangling link gets its target), which is synced, takes the old file's permissions
// and then replaces it in one rename. A file the user may not write is refused ("File access
// denied"), whoever may write its folder. A file with other hard links is rewritten itself once
// the complete new content is synced beside it, so every name shows it; a device or a pipe is
// written directly. In a folder that takes no new file, an existing writable file is rewritten
// in place.
void ReplaceFileContent(const std::string& path, std::string_view bytes);

// A file's new content written piece by piece as it is made, under ReplaceFileContent's contract
// (which is this with one piece): the pieces go to a temporary file beside it, and Commit puts
// that in its place, so that until then the old file, or none, stays under the name; destroyed
// without Commit, the temporary file is removed. Only a device or a pipe takes the pieces as they
// come, and a file in a folder that takes no new file is rewritten in place from its start as
// they come, after `sizeHint` bytes are reserved on the disk. Failures throw EInOutError.
class TFileReplacement {
public:
    explicit TFileReplacement(const std::string& path, std::size_t sizeHint = 0);
    ~TFileReplacement();
    TFileReplacement(const TFileReplacement&) = delete;
    TFileReplacement& operator=(const TFileReplacement&) = delete;

    void Append(std::string_view bytes);
    // The content is whole: it replaces the file's.
    void Commit();
    // The folder the new content is written in.
    const std::string& Folder() const { return folder_; }

private:
    enum class TWay { Beside, InPlace, Direct };
    void CommitBeside();

    std::string path_;
    bool exists_ = false;
    unsigned mode_ = 0;
    unsigned long links_ = 0;
    int existing_ = -1; // the old file, open for writing
    TWay way_ = TWay::Beside;
    std::string folder_, target_, temp_;
    int temporary_ = -1;
    std::uint64_t size_ = 0;
};

// An unnamed file for bytes that must wait for what goes in front of them: gone with this, or with
// the process however it ends. In `folder`, or in the system's temporary folder where that takes
// no such file.
class TScratchFile {
public:
    explicit TScratchFile(const std::string& folder);
    ~TScratchFile();
    TScratchFile(const TScratchFile&) = delete;
    TScratchFile& operator=(const TScratchFile&) = delete;

    void Append(std::string_view bytes);
    // Everything appended so far, from its start.
    void CopyTo(TFileReplacement& file) const;

private:
    int fd_ = -1;
    std::string where_; // its folder, for an error
};

// Throws what ReplaceFileContent would for `path` before it writes a byte: a folder that is
// missing, or that takes no new file where there is no file to rewrite in place, or a file that
// may not be written. Changes nothing. What only the writing meets, a full disk, passes.
void CheckFileReplaceable(const std::string& path);

// The extension of the file name at the end of `path`, from its last dot, in lower case (ASCII);
// empty where the name has no dot. What picks a file's kind, whatever case the user typed.
std::string LowerExtension(const std::string& path);

} // namespace files
