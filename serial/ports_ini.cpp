#include "serial/ports_ini.h"

#include "files/config_folder.h"
#include "files/file_io.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <unistd.h>

namespace serial {

namespace {

struct Line {
    std::string_view text; // without its line end
    std::string_view end;  // "\n", "\r\n" or empty for an unterminated last line
};

// A UTF-8 byte-order mark that an editor put at the start, or nothing; it belongs to no line.
std::string_view ByteOrderMark(std::string_view text) {
    constexpr std::string_view mark = "\xEF\xBB\xBF";
    return text.starts_with(mark) ? mark : std::string_view();
}

std::vector<Line> SplitLines(std::string_view text) {
    text.remove_prefix(ByteOrderMark(text).size());
    std::vector<Line> lines;
    while (!text.empty()) {
        const auto at = text.find('\n');
        if (at == std::string_view::npos) {
            lines.push_back({text, {}});
            break;
        }
        const bool crlf = at > 0 && text[at - 1] == '\r';
        lines.push_back(
            {text.substr(0, crlf ? at - 1 : at), text.substr(crlf ? at - 1 : at, crlf ? 2 : 1)});
        text.remove_prefix(at + 1);
    }
    return lines;
}

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The section a header line opens, or nullopt when the line is no header.
std::optional<std::string_view> SectionName(std::string_view line) {
    const auto t = Trim(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']')
        return std::nullopt;
    return Trim(t.substr(1, t.size() - 2));
}

struct Entry {
    std::string_view key;
    std::string_view value;
};

std::optional<Entry> KeyValue(std::string_view line) {
    const auto t = Trim(line);
    if (t.empty() || t.front() == ';')
        return std::nullopt;
    const auto eq = t.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return Entry{Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

// Index range [begin, end) of the body of the first matching section, and its header's index.
struct SectionSpan {
    std::size_t header;
    std::size_t begin;
    std::size_t end;
};

std::optional<SectionSpan> FindSection(const std::vector<Line>& lines, std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = SectionName(lines[i].text);
        if (!name || !SameName(*name, section))
            continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !SectionName(lines[end].text))
            ++end;
        return SectionSpan{i, i + 1, end};
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> IniValue(std::string_view text, std::string_view section,
                                    std::string_view key) {
    const auto lines = SplitLines(text);
    const auto span = FindSection(lines, section);
    if (!span)
        return std::nullopt;
    for (std::size_t i = span->begin; i < span->end; ++i) {
        const auto entry = KeyValue(lines[i].text);
        if (entry && SameName(entry->key, key))
            return std::string(entry->value);
    }
    return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> IniEntries(std::string_view text,
                                                            std::string_view section) {
    const auto lines = SplitLines(text);
    const auto span = FindSection(lines, section);
    std::vector<std::pair<std::string, std::string>> entries;
    for (std::size_t i = span ? span->begin : 0; span && i < span->end; ++i)
        if (const auto entry = KeyValue(lines[i].text))
            entries.emplace_back(entry->key, entry->value);
    return entries;
}

std::string IniWithValue(std::string_view text, std::string_view section, std::string_view key,
                         const std::optional<std::string>& value, std::string_view comment) {
    const auto lines = SplitLines(text);
    const auto span = FindSection(lines, section);
    std::optional<std::size_t> keyLine;
    std::size_t lastFilled = span ? span->header : 0;
    bool otherEntries = false;
    for (std::size_t i = span ? span->begin : 0; span && i < span->end; ++i) {
        const auto entry = KeyValue(lines[i].text);
        const bool filled = !Trim(lines[i].text).empty();
        if (entry && SameName(entry->key, key) && !keyLine)
            keyLine = i;
        else if (filled)
            otherEntries = true;
        if (filled)
            lastFilled = i;
    }
    if (!value && !keyLine)
        return std::string(text);

    struct OutLine {
        std::string text;
        std::string end;
    };
    std::vector<OutLine> out;
    for (const auto& line : lines)
        out.push_back({std::string(line.text), std::string(line.end)});
    const std::string eol = !lines.empty() && lines.front().end == "\r\n" ? "\r\n" : "\n";
    // Inserting after an unterminated last line must end that line first.
    auto insert = [&](std::size_t at, std::string line) {
        if (at > 0 && out[at - 1].end.empty())
            out[at - 1].end = eol;
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), {std::move(line), eol});
    };
    const std::string entry = std::string(key) + "=" + value.value_or(std::string());
    if (!value && !otherEntries) {
        // The section held only this key: it goes with its header and its blank lines.
        std::size_t from = span->header;
        // A last section also takes the blank lines that separated it from the one before.
        while (span->end == out.size() && from > 0 && Trim(out[from - 1].text).empty())
            --from;
        out.erase(out.begin() + static_cast<std::ptrdiff_t>(from),
                  out.begin() + static_cast<std::ptrdiff_t>(span->end));
    } else if (!value) {
        out.erase(out.begin() + static_cast<std::ptrdiff_t>(*keyLine));
    } else if (keyLine) {
        out[*keyLine].text = entry;
    } else {
        std::size_t at = span ? lastFilled + 1 : out.size();
        if (!span) {
            if (!out.empty() && !Trim(out.back().text).empty())
                insert(at++, std::string());
            insert(at++, std::string("[").append(section).append("]"));
        }
        if (!comment.empty())
            insert(at++, std::string(comment));
        insert(at, entry);
    }
    std::string joined(ByteOrderMark(text));
    for (const auto& line : out)
        joined += line.text + line.end;
    return joined;
}

std::string PortsIniPath() {
    const std::string folder = files::ConfigFolder();
    return folder.empty() ? folder : folder + "/ports.ini";
}

namespace {

std::runtime_error FileFailure(const std::string& what, const std::string& path, int error) {
    return std::runtime_error(what + " " + path + ": " + std::strerror(error));
}

} // namespace

TPortsIniLock::TPortsIniLock(const std::string& iniPath) {
    const std::filesystem::path folder = std::filesystem::path(iniPath).parent_path();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw std::runtime_error("cannot create the folder " + folder.string() + ": " +
                                 error.message());
    const std::string lockPath = iniPath + ".lock";
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0)
        throw FileFailure("cannot open the lock", lockPath, errno);
    // A writer holds the lock for a read and a write of a small file; one that keeps it for
    // seconds has hung, and waiting on would hang us too.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int failure = errno;
        if ((failure != EWOULDBLOCK && failure != EINTR) ||
            std::chrono::steady_clock::now() >= deadline) {
            ::close(fd_);
            throw failure == EWOULDBLOCK
                ? std::runtime_error(lockPath + " is held by another program; " + iniPath +
                                     " is left as it is")
                : FileFailure("cannot lock", lockPath, failure);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

TPortsIniLock::~TPortsIniLock() {
    ::close(fd_);
}

std::optional<std::string> ReadPortsIni(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        throw FileFailure("cannot read", path, errno);
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int failure = errno;
            ::close(fd);
            throw FileFailure("cannot read", path, failure);
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return text;
}

void WritePortsIni(const std::string& path, std::string_view text) {
    files::ReplaceFileContent(path, text);
}

} // namespace serial
