#pragma once
// The simulator's entry in the port map, registered while it runs and undone at its end.

#include <optional>
#include <string>

namespace devsim {

// The port map's path (serial::PortsIniPath). Throws std::runtime_error when neither
// XDG_CONFIG_HOME nor HOME gives a directory.
std::string PortsIniPath();

// Registers a device path as COMn for the lifetime of the object, under the writers' lock. At the
// end a file nobody else changed meanwhile gets its old bytes back (or is deleted when it did not
// exist). Otherwise only our key is undone: the previous entry comes back, or the key is removed
// when there was none; an entry that meanwhile names another device is left alone, as some other
// program registered it after us.
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
