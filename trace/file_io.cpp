#include "trace/file_io.h"

#include "trace/io_error.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trace {

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

void WriteInPlace(const std::string& path, std::string_view bytes) {
    TDescriptor fd(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (fd.Get() < 0)
        ThrowFileError(errno, path);
    WriteAll(fd.Get(), bytes, path);
    if (::fsync(fd.Get()) != 0 || !fd.Close())
        ThrowFileError(errno, path);
}

// The file a path names: a symbolic link's final target, followed as far as links go.
std::string RealTarget(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error))
        return path;
    const std::filesystem::path target = std::filesystem::weakly_canonical(path, error);
    return error ? path : target.string();
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

void ReplaceFileContent(const std::string& path, std::string_view bytes) {
    const std::string target = RealTarget(path);
    const std::filesystem::path targetPath(target);
    std::string pattern =
        (targetPath.parent_path() / ("." + targetPath.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int tempFd = ::mkostemp(name.data(), O_CLOEXEC);
    if (tempFd < 0) {
        const int error = errno;
        // A folder that takes no new file may still hold a file that may be rewritten.
        if ((error == EACCES || error == EPERM || error == EROFS) &&
            ::access(target.c_str(), W_OK) == 0)
            return WriteInPlace(target, bytes);
        ThrowFileError(error, path);
    }
    const std::string temp(name.data());
    TDescriptor fd(tempFd);
    try {
        WriteAll(fd.Get(), bytes, path);
        struct stat old {};
        const mode_t mode = ::stat(target.c_str(), &old) == 0 ? old.st_mode & 07777 : NewFileMode();
        if (::fchmod(fd.Get(), mode) != 0 || ::fsync(fd.Get()) != 0 || !fd.Close())
            ThrowFileError(errno, path);
        if (::rename(temp.c_str(), target.c_str()) != 0)
            ThrowFileError(errno, path);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    // The rename itself lasts only once the folder's entry is on the disk.
    TDescriptor folder(
        ::open(targetPath.parent_path().empty() ? "." : targetPath.parent_path().c_str(),
               O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0)
        ::fsync(folder.Get());
}

} // namespace trace
