#pragma once
// ports.ini, the port map that the recorder and talvir-devsim both read and write: its place,
// its text edits, and the lock and the replacement by which writers keep out of each other's way.
// No Qt, so the simulator links it without the window library.
//
// Every writer takes TPortsIniLock around its read, edit and write, and writes the whole file
// anew through WritePortsIni; readers need no lock, as they only ever see a whole old or a whole
// new file.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace serial {

// ports.ini in the program's folder (files::ConfigFolder), beside the settings file; empty when
// there is no such folder.
std::string PortsIniPath();

// Profile-file text edits with the usual rules: section and key names compare without regard
// to case, blanks around names and values are dropped, lines starting with ';' are comments.
// Every line not edited is kept byte for byte, and so are the file's line-end style and a UTF-8
// byte-order mark at its start.
std::optional<std::string> IniValue(std::string_view text, std::string_view section,
                                    std::string_view key);
// The keys and values of a section, in file order.
std::vector<std::pair<std::string, std::string>> IniEntries(std::string_view text,
                                                            std::string_view section);
// Sets the key, adding the section at the end when it is missing; with no value, removes the
// key, and the section too when nothing else is left in it. A key that is added gets the comment
// line `comment` right above it, when one is given.
std::string IniWithValue(std::string_view text, std::string_view section, std::string_view key,
                         const std::optional<std::string>& value, std::string_view comment = {});

// Holds the writers' lock for as long as it lives: an exclusive flock on "ports.ini.lock" beside
// the file (the file itself is replaced by every write, so it cannot carry the lock). Waits up to
// two seconds for another writer, then throws std::runtime_error; creates the folder if needed.
class TPortsIniLock {
public:
    explicit TPortsIniLock(const std::string& iniPath);
    ~TPortsIniLock();
    TPortsIniLock(const TPortsIniLock&) = delete;
    TPortsIniLock& operator=(const TPortsIniLock&) = delete;

private:
    int fd_ = -1;
};

// The file's text, or nullopt when there is no such file. Throws std::runtime_error, naming the
// file and the reason, when it exists but cannot be read: a writer must then leave it alone.
std::optional<std::string> ReadPortsIni(const std::string& path);

// Gives the file the text through a temporary file beside it and a rename. Throws
// std::runtime_error on failure, leaving the old file whole.
void WritePortsIni(const std::string& path, std::string_view text);

} // namespace serial
