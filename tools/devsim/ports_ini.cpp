#include "devsim/ports_ini.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <unistd.h>

namespace devsim {

namespace {

constexpr std::string_view kSection = "Ports";

struct Line {
    std::string_view text; // without its line end
    std::string_view end;  // "\n", "\r\n" or empty for an unterminated last line
};

std::vector<Line> SplitLines(std::string_view text) {
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

std::string ReadFile(const std::string& path, bool& exists) {
    std::ifstream file(path, std::ios::binary);
    exists = static_cast<bool>(file);
    std::ostringstream text;
    if (exists)
        text << file.rdbuf();
    return text.str();
}

// Writes beside the target and renames, so a reader never sees half a file.
void WriteFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp." + std::to_string(getpid());
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << text;
        file.close();
        if (!file)
            throw std::runtime_error("cannot write " + temporary);
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        throw std::runtime_error("cannot replace " + path);
    }
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

std::string IniWithValue(std::string_view text, std::string_view section, std::string_view key,
                         const std::optional<std::string>& value) {
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
    } else if (span) {
        insert(lastFilled + 1, entry);
    } else {
        if (!out.empty() && !Trim(out.back().text).empty())
            insert(out.size(), std::string());
        insert(out.size(), "[" + std::string(section) + "]");
        insert(out.size(), entry);
    }
    std::string joined;
    for (const auto& line : out)
        joined += line.text + line.end;
    return joined;
}

std::string PortsIniPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/')
        return std::string(xdg) + "/talvir/ports.ini";
    const char* home = std::getenv("HOME");
    if (home && *home)
        return std::string(home) + "/.config/talvir/ports.ini";
    throw std::runtime_error("neither XDG_CONFIG_HOME nor HOME names the configuration folder");
}

PortRegistration::PortRegistration(std::string iniPath, int comNumber, std::string devicePath)
    : iniPath_(std::move(iniPath)), key_("COM" + std::to_string(comNumber)),
      devicePath_(std::move(devicePath)) {
    original_ = ReadFile(iniPath_, fileExisted_);
    previous_ = IniValue(original_, kSection, key_);
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(iniPath_).parent_path(), error);
    if (error)
        throw std::runtime_error("cannot create the folder of " + iniPath_ + ": " +
                                 error.message());
    written_ = IniWithValue(original_, kSection, key_, devicePath_);
    WriteFile(iniPath_, written_);
}

PortRegistration::~PortRegistration() {
    std::string ignored;
    Restore(ignored);
}

bool PortRegistration::Restore(std::string& message) {
    if (restored_)
        return true;
    restored_ = true;
    try {
        bool exists = false;
        const std::string text = ReadFile(iniPath_, exists);
        if (text == written_) {
            // Nobody else touched the file: put back exactly what was there.
            if (fileExisted_)
                WriteFile(iniPath_, original_);
            else
                std::filesystem::remove(iniPath_);
            return true;
        }
        if (IniValue(text, kSection, key_) != devicePath_) {
            message =
                key_ + " in " + iniPath_ + " no longer names " + devicePath_ + "; left as it is";
            return true;
        }
        WriteFile(iniPath_, IniWithValue(text, kSection, key_, previous_));
        return true;
    } catch (const std::exception& e) {
        message = e.what();
        return false;
    }
}

} // namespace devsim
