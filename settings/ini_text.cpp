#include "settings/ini_text.h"

#include <algorithm>

namespace settings {

namespace {

constexpr std::string_view Blanks = " \t";
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
    const std::size_t first = s.find_first_not_of(Blanks);
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(Blanks) - first + 1);
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) { return Lower(x) == Lower(y); });
}

bool Quoted(std::string_view s) {
    return s.size() >= 2 && s.front() == s.back() && (s.front() == '"' || s.front() == '\'');
}

enum class TKind { Blank, Comment, Section, Key, Bad };

struct TParsed {
    TKind Kind = TKind::Blank;
    std::string_view Name;
    std::string_view Value;
    const char* Problem = nullptr;
};

TParsed Parse(std::string_view line) {
    const std::string_view text = Trim(line);
    if (text.empty())
        return {};
    if (text.front() == ';' || text.front() == '#')
        return {TKind::Comment, {}, {}, nullptr};
    if (text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos)
            return {TKind::Bad, {}, {}, "a section header without \"]\""};
        const std::string_view name = Trim(text.substr(1, close - 1));
        if (name.empty())
            return {TKind::Bad, {}, {}, "a section header without a name"};
        return {TKind::Section, name, {}, nullptr};
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        return {TKind::Bad, {}, {}, "neither a section, a key nor a comment"};
    const std::string_view name = Trim(text.substr(0, equals));
    if (name.empty())
        return {TKind::Bad, {}, {}, "a value without a key"};
    return {TKind::Key, name, Trim(text.substr(equals + 1)), nullptr};
}

bool OneLine(std::string_view s) {
    return s.find_first_of("\r\n") == std::string_view::npos;
}

bool FitsAsName(std::string_view s) {
    return !s.empty() && OneLine(s) && Trim(s) == s && s.find(']') == std::string_view::npos;
}

} // namespace

TIniText::TIniText(std::string_view text) {
    // Editors may start a UTF-8 file with a byte-order mark; it belongs to no line.
    if (text.starts_with(ByteOrderMark)) {
        Start_ = ByteOrderMark;
        text.remove_prefix(ByteOrderMark.size());
    }
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        TLine line;
        if (end == std::string_view::npos) {
            line.Bytes = text;
            text = {};
        } else {
            const bool crlf = end > 0 && text[end - 1] == '\r';
            line.Bytes = text.substr(0, crlf ? end - 1 : end);
            line.Break = crlf ? "\r\n" : "\n";
            text.remove_prefix(end + 1);
        }
        Lines_.push_back(std::move(line));
    }
    bool inSection = false;
    for (std::size_t i = 0; i < Lines_.size(); ++i) {
        const TParsed parsed = Parse(Lines_[i].Bytes);
        const int number = static_cast<int>(i) + 1;
        if (parsed.Kind == TKind::Bad)
            Problems_.push_back({number, parsed.Problem});
        else if (parsed.Kind == TKind::Key && !inSection)
            Problems_.push_back({number, "a key before the first section"});
        inSection = inSection || parsed.Kind == TKind::Section;
    }
}

std::string TIniText::Text() const {
    std::string text = Start_;
    for (const TLine& line : Lines_)
        text += line.Bytes + line.Break;
    return text;
}

int TIniText::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < Lines_.size(); ++i) {
        const TParsed parsed = Parse(Lines_[i].Bytes);
        if (parsed.Kind == TKind::Section && SameName(parsed.Name, section))
            return static_cast<int>(i);
    }
    return -1;
}

int TIniText::FindKey(int header, std::string_view key) const {
    for (std::size_t i = static_cast<std::size_t>(header) + 1; i < Lines_.size(); ++i) {
        const TParsed parsed = Parse(Lines_[i].Bytes);
        if (parsed.Kind == TKind::Section)
            break;
        if (parsed.Kind == TKind::Key && SameName(parsed.Name, key))
            return static_cast<int>(i);
    }
    return -1;
}

bool TIniText::HasKey(std::string_view section, std::string_view key) const {
    const int header = FindSection(section);
    return header >= 0 && FindKey(header, key) >= 0;
}

std::string TIniText::ReadString(std::string_view section, std::string_view key,
                                 std::string_view fallback) const {
    const int header = FindSection(section);
    const int line = header < 0 ? -1 : FindKey(header, key);
    if (line < 0)
        return std::string(fallback);
    std::string_view value = Parse(Lines_[static_cast<std::size_t>(line)].Bytes).Value;
    if (Quoted(value))
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

void TIniText::InsertLine(std::size_t at, std::string bytes) {
    // New lines end the way the text's lines already do.
    const auto withBreak =
        std::ranges::find_if(Lines_, [](const TLine& l) { return !l.Break.empty(); });
    const std::string lineBreak = withBreak == Lines_.end() ? "\n" : withBreak->Break;
    if (at > 0 && Lines_[at - 1].Break.empty())
        Lines_[at - 1].Break = lineBreak;
    Lines_.insert(Lines_.begin() + static_cast<std::ptrdiff_t>(at),
                  TLine{std::move(bytes), lineBreak});
}

bool TIniText::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (!FitsAsName(section) || !FitsAsName(key) || !OneLine(value) ||
        key.find('=') != std::string_view::npos || key.front() == '[' || key.front() == ';' ||
        key.front() == '#')
        return false;
    const std::string text = Quoted(value) ? '"' + std::string(value) + '"' : std::string(value);

    int header = FindSection(section);
    if (header < 0) {
        InsertLine(Lines_.size(), '[' + std::string(section) + ']');
        header = static_cast<int>(Lines_.size()) - 1;
    }
    if (const int line = FindKey(header, key); line >= 0) {
        TLine& found = Lines_[static_cast<std::size_t>(line)];
        found.Bytes = std::string(Parse(found.Bytes).Name) + '=' + text;
        return true;
    }
    // After the section's last key, so that blank lines and comments before the next section
    // stay where they are.
    std::size_t at = static_cast<std::size_t>(header) + 1;
    for (std::size_t i = at; i < Lines_.size(); ++i) {
        const TKind kind = Parse(Lines_[i].Bytes).Kind;
        if (kind == TKind::Section)
            break;
        if (kind == TKind::Key)
            at = i + 1;
    }
    InsertLine(at, std::string(key) + '=' + text);
    return true;
}

} // namespace settings
