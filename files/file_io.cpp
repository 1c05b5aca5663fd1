#include "files/file_io.h"

#include "files/io_error.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace {

// A descriptor closed on every way out.
class TDescriptor {
public:
    explicit TDescriptor(int fd) : fd_(fd) {}
    ~TDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int Get() const { return fd_; }
    // Hands the descriptor on: no longer closed here.
    void Release() { fd_ = -1; }
    // Closes now; false with errno set when the close reported a failed write.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            ThrowFileError(errno, path);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

// Room on the disk for `size` bytes of the open file `fd`, so that a full disk fails a rewrite
// before a byte of the old content is overwritten.
void ReserveRoom(int fd, std::size_t size, const std::string& path) {
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) != 0 &&
        errno != EOPNOTSUPP && errno != EINVAL)
        ThrowFileError(errno, path);
}

// The content of the open file `fd` from its start, piece by piece, to `take`.
void ForEachPiece(int fd, const std::string& path,
                  const std::function<void(std::string_view)>& take) {
    char piece[65536];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, piece, sizeof piece, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            ThrowFileError(errno, path);
        if (got == 0)
            return;
        take({piece, static_cast<std::size_t>(got)});
        at += got;
    }
}

// The file a path names: a symbolic link's final target, followed as far as links go, also when
// that target does not exist yet.
std::string LinkTarget(const std::string& path) {
    std::string target = path;
    for (int links = 0;; ++links) {
        char content[PATH_MAX];
        const ssize_t length = ::readlink(target.c_str(), content, sizeof content);
        if (length < 0)
            return target; // no link: what the path names itself, or nothing yet
        if (links == 40)
            ThrowFileError(ELOOP, path);
        const std::string_view link(content, static_cast<std::size_t>(length));
        target = !link.empty() && link.front() == '/'
                     ? std::string(link)
                     : (std::filesystem::path(target).parent_path() / link).string();
    }
}

// A new file in `folder` under a short name: "." + the target's name + a suffix could pass the
// 255 bytes a name may have. -1 with errno set when the folder takes no new file.
int CreateTemporary(const std::filesystem::path& folder, std::string& name) {
    const std::string pattern = (folder / ".talvir-XXXXXX").string();
    std::vector<char> spelled(pattern.begin(), pattern.end());
    spelled.push_back('\0');
    const int fd = ::mkostemp(spelled.data(), O_CLOEXEC);
    name = spelled.data();
    return fd;
}

// The folder a file is in; "." for a bare name.
std::filesystem::path FolderOf(const std::string& file) {
    const std::filesystem::path folder = std::filesystem::path(file).parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

TFileContent::TFileContent(const std::string& path) {
    TDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0)
        ThrowFileError(errno, path);
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0)
        ThrowFileError(errno, path);
    if (S_ISDIR(info.st_mode))
        ThrowFileError(EISDIR, path);
    if (S_ISREG(info.st_mode) && info.st_size > 0) {
        void* map = ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ,
                           MAP_PRIVATE | MAP_POPULATE, fd.Get(), 0);
        if (map != MAP_FAILED) {
            data_ = static_cast<const char*>(map);
            size_ = static_cast<std::size_t>(info.st_size);
            mapped_ = true;
            return;
        }
    }
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ThrowFileError(errno, path);
        }
        if (got == 0)
            break;
        read_.append(buffer, static_cast<std::size_t>(got));
    }
    data_ = read_.data();
    size_ = read_.size();
}

TFileContent::~TFileContent() {
    if (mapped_)
        ::munmap(const_cast<char*>(data_), size_);
}

TFileReader::TFileReader(const std::string& path)
    : path_(path), fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ < 0)
        ThrowFileError(errno, path);
    TDescriptor closer(fd_);
    struct stat info {};
    if (::fstat(fd_, &info) != 0)
        ThrowFileError(errno, path);
    if (S_ISDIR(info.st_mode))
        ThrowFileError(EISDIR, path);
    if (S_ISREG(info.st_mode))
        size_ = static_cast<std::size_t>(info.st_size);
    closer.Release();
}

TFileReader::~TFileReader() {
    ::close(fd_);
}

std::size_t TFileReader::Read(char* into, std::size_t room) {
    for (;;) {
        const ssize_t got = ::read(fd_, into, room);
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR)
            ThrowFileError(errno, path_);
    }
}

TFileReplacement::TFileReplacement(const std::string& path, std::size_t sizeHint) : path_(path) {
    struct stat old {};
    exists_ = ::stat(path.c_str(), &old) == 0;
    if (!exists_ && errno != ENOENT)
        ThrowFileError(errno, path);
    mode_ = exists_ ? old.st_mode & 07777 : NewFileMode();
    links_ = exists_ ? old.st_nlink : 0;
    // The save writes this file: where the user may not write it, the folder's permission to
    // replace it must not get round that.
    TDescriptor existing(exists_ ? ::open(path.c_str(), O_WRONLY | O_CLOEXEC) : -1);
    if (exists_ && existing.Get() < 0)
        ThrowFileError(errno, path);
    // A device or a pipe takes the bytes itself; a file put in its place would take them instead.
    if (exists_ && !S_ISREG(old.st_mode)) {
        way_ = TWay::Direct;
        existing_ = existing.Get();
        existing.Release();
        return;
    }
    target_ = LinkTarget(path);
    folder_ = FolderOf(target_).string();
    temporary_ = CreateTemporary(folder_, temp_);
    if (temporary_ < 0) {
        const int error = errno;
        temp_.clear();
        // A folder that takes no new file may still hold a file that may be rewritten.
        if (!exists_ || (error != EACCES && error != EPERM && error != EROFS))
            ThrowFileError(error, path);
        ReserveRoom(existing.Get(), sizeHint, path);
        way_ = TWay::InPlace;
    }
    existing_ = existing.Get();
    existing.Release();
}

TFileReplacement::~TFileReplacement() {
    if (temporary_ >= 0)
        ::close(temporary_);
    if (!temp_.empty())
        ::unlink(temp_.c_str());
    if (existing_ >= 0)
        ::close(existing_);
}

void TFileReplacement::Append(std::string_view bytes) {
    WriteAll(way_ == TWay::Beside ? temporary_ : existing_, bytes, path_);
    size_ += bytes.size();
}

void TFileReplacement::Commit() {
    switch (way_) {
    case TWay::Direct:
        return;
    case TWay::InPlace:
        if (::ftruncate(existing_, static_cast<off_t>(size_)) != 0 || ::fsync(existing_) != 0)
            ThrowFileError(errno, path_);
        return;
    case TWay::Beside:
        return CommitBeside();
    }
}

void TFileReplacement::CommitBeside() {
    const bool shared = exists_ && links_ > 1;
    if (shared)
        ReserveRoom(existing_, size_, path_);
    if (::fchmod(temporary_, static_cast<mode_t>(mode_)) != 0 || ::fsync(temporary_) != 0)
        ThrowFileError(errno, path_);
    if (shared) {
        // Other names share the file, and a rename would part them from the new content: the
        // file itself is rewritten, once the new content is whole on the disk beside it, which
        // is where it stays should the rewriting fail half way.
        try {
            ForEachPiece(temporary_, path_,
                         [this](std::string_view piece) { WriteAll(existing_, piece, path_); });
            if (::ftruncate(existing_, static_cast<off_t>(size_)) != 0 || ::fsync(existing_) != 0)
                ThrowFileError(errno, path_);
        } catch (const EInOutError& e) {
            const std::string kept = temp_;
            temp_.clear();
            throw EInOutError(e.Text(), path_ + "\nThe new content is kept in " + kept);
        }
        return;
    }
    const int fd = temporary_;
    temporary_ = -1;
    if (::close(fd) != 0 || ::rename(temp_.c_str(), target_.c_str()) != 0)
        ThrowFileError(errno, path_);
    temp_.clear();
    // The rename itself lasts only once the folder's entry is on the disk.
    TDescriptor entry(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (entry.Get() >= 0)
        ::fsync(entry.Get());
}

void ReplaceFileContent(const std::string& path, std::string_view bytes) {
    TFileReplacement file(path, bytes.size());
    file.Append(bytes);
    file.Commit();
}

TScratchFile::TScratchFile(const std::string& folder) {
    for (const std::string& place : {folder, std::filesystem::temp_directory_path().string()}) {
        where_ = place;
        fd_ = ::open(place.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd_ >= 0)
            return;
        // A file system without unnamed files: a named one, unlinked at once.
        std::string name;
        fd_ = CreateTemporary(place, name);
        if (fd_ >= 0) {
            ::unlink(name.c_str());
            return;
        }
    }
    ThrowFileError(errno, folder);
}

TScratchFile::~TScratchFile() {
    ::close(fd_);
}

void TScratchFile::Append(std::string_view bytes) {
    WriteAll(fd_, bytes, where_);
}

void TScratchFile::CopyTo(TFileReplacement& file) const {
    ForEachPiece(fd_, where_, [&file](std::string_view piece) { file.Append(piece); });
}

void CheckFileReplaceable(const std::string& path) {
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) {
        // A file that opens for writing is written: beside itself, or in place where its folder
        // takes no new file. No wait here for a pipe's reader (ENXIO), as the save waits for it.
        TDescriptor existing(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        if (existing.Get() < 0 && errno != ENXIO)
            ThrowFileError(errno, path);
        return;
    }
    if (errno != ENOENT)
        ThrowFileError(errno, path);
    std::string temp;
    TDescriptor fd(CreateTemporary(FolderOf(LinkTarget(path)), temp));
    if (fd.Get() < 0)
        ThrowFileError(errno, path);
    ::unlink(temp.c_str());
}

std::string LowerExtension(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string extension = path.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return extension;
}

} // namespace files
