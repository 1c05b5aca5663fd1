#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace devsim {

// Profile-file text edits with the usual rules: section and key names compare without regard
// to case, blanks around names and values are dropped, lines starting with ';' are comments.
// Every line not edited is kept byte for byte, and so is the file's line-end style.
std::optional<std::string> IniValue(std::string_view text, std::string_view section,
                                    std::string_view key);
// Sets the key, adding the section at the end when it is missing; with no value, removes the
// key, and the section too when nothing else is left in it.
std::string IniWithValue(std::string_view text, std::string_view section, std::string_view key,
                         const std::optional<std::string>& value);

// $XDG_CONFIG_HOME/talvir/ports.ini, or ~/.config/talvir/ports.ini. Throws std::runtime_error
// when neither variable gives a directory.
std::string PortsIniPath();

// Registers a device path as COMn for the lifetime of the object. At the end a file nobody else
// changed meanwhile gets its old bytes back (or is deleted when it did not exist). Otherwise
// only our key is undone: the previous entry comes back, or the key is removed when there was
// none; an entry that meanwhile names another device is left alone, as some other program
// registered it after us.
class PortRegistration {
public:
    PortRegistration(std::string iniPath, int comNumber, std::string devicePath);
    ~PortRegistration();
    PortRegistration(const PortRegistration&) = delete;
    PortRegistration& operator=(const PortRegistration&) = delete;

    // Restores the previous state; returns false, with a message, when the file cannot be
    // written. Runs once; later calls do nothing.
    bool Restore(std::string& message);

private:
    std::string iniPath_;
    std::string key_;
    std::string devicePath_;
    std::string original_;
    std::string written_;
    std::optional<std::string> previous_;
    bool fileExisted_ = false;
    bool restored_ = false;
};

} // namespace devsim
