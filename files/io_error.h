#pragma once
// The file error: the standard text of what went wrong and which file, raised from an errno.

#include <stdexcept>
#include <string>

namespace files {

// A file could not be created, opened, written or read, or held something that is not a number.
// The message's first line is the standard text ("File not found", "File access denied",
// "Invalid numeric input", ...), the second says which file, and where in it.
class EInOutError : public std::runtime_error {
public:
    EInOutError(const std::string& text, const std::string& detail)
        : std::runtime_error(text + '\n' + detail), text_(text) {}
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// The standard text for a system error number met while working on a file.
std::string FileErrorText(int error);

// Throws the error for errno `error` met on the file at `path`.
[[noreturn]] void ThrowFileError(int error, const std::string& path);

} // namespace files
