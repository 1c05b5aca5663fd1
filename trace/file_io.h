#pragma once
// Whole-file reading and writing for the trace files. Failures throw EInOutError.

#include <cstddef>
#include <string>
#include <string_view>

namespace trace {

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

// Gives the file at `path` the content `bytes`. The old file stays whole until the new one is:
// the bytes go to a temporary file beside it (beside a symbolic link's target, so the link stays
// a link), which is synced, takes the old file's permissions and then replaces it in one rename.
// In a folder that takes no new file, an existing writable file is rewritten in place.
void ReplaceFileContent(const std::string& path, std::string_view bytes);

} // namespace trace
