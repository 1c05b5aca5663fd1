#include "files/io_error.h"

#include <cerrno>
#include <cstring>

namespace files {

std::string FileErrorText(int error) {
    switch (error) {
    case ENOENT:
        return "File not found";
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return "Path not found";
    case EMFILE:
    case ENFILE:
        return "Too many open files";
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EISDIR:
        return "File access denied";
    case ENOMEM:
        return "Insufficient memory";
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return "Disk is full";
    default:
        return std::strerror(error);
    }
}

void ThrowFileError(int error, const std::string& path) {
    throw EInOutError(FileErrorText(error), path);
}

} // namespace files
