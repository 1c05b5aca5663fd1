#pragma once
// The text of a profile (INI) file with the lookups and updates of the Windows profile functions:
// section and key names compared without regard to ASCII case, the first of several equal entries
// used, values read trimmed of blanks and of one enclosing pair of quotes. Every line keeps its
// bytes: a write replaces only the line of its key (or adds one), so a file read and written again
// is unchanged but for the values written, whatever else it holds. A UTF-8 byte-order mark at
// the start is kept there and is no part of the first line. No widgets, no Qt.

#include <string>
#include <string_view>
#include <vector>

namespace settings {

// A line that is neither blank, a comment, a section header nor a key: it is kept as it is and
// takes no part in lookups.
struct TIniProblem {
    int Line = 0; // 1-based
    std::string What;
};

class TIniText {
public:
    TIniText() = default;
    explicit TIniText(std::string_view text);

    // The whole text, byte for byte.
    std::string Text() const;
    const std::vector<TIniProblem>& Problems() const { return Problems_; }

    // The value under section and key, or fallback when either is missing.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view fallback) const;
    bool HasKey(std::string_view section, std::string_view key) const;

    // Sets the value under section and key, adding the key at the end of its section and the
    // section at the end of the text when missing. A value that begins and ends with the same
    // quote gets one more pair of double quotes, so that it reads back as written. False, and
    // nothing changed, when a name or the value can't be kept on one line (a line break, an empty
    // or bracketed name, "=" in the key, blanks around a name).
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);

private:
    struct TLine {
        std::string Bytes; // without its line break
        std::string Break; // "\n", "\r\n" or empty for a last line without one
    };
    // Index of the section's header line, or -1.
    int FindSection(std::string_view section) const;
    // Index of the key's line in the section starting at header, or -1.
    int FindKey(int header, std::string_view key) const;
    void InsertLine(std::size_t at, std::string bytes);

    std::string Start_; // a UTF-8 byte-order mark before the first line, or nothing
    std::vector<TLine> Lines_;
    std::vector<TIniProblem> Problems_;
};

} // namespace settings
