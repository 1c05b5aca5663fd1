#include "devsim/ports_ini.h"

#include "serial/ports_ini.h"

#include <filesystem>
#include <stdexcept>

namespace devsim {

namespace {

constexpr std::string_view kSection = "Ports";

} // namespace

std::string PortsIniPath() {
    std::string path = serial::PortsIniPath();
    if (path.empty())
        throw std::runtime_error("neither XDG_CONFIG_HOME nor HOME names the configuration folder");
    return path;
}

PortRegistration::PortRegistration(std::string iniPath, int comNumber, std::string devicePath)
    : iniPath_(std::move(iniPath)), key_("COM" + std::to_string(comNumber)),
      devicePath_(std::move(devicePath)) {
    // The recorder adds entries for USB adapters it finds; the lock keeps our edit and its edit
    // from overwriting each other.
    const serial::TPortsIniLock lock(iniPath_);
    const std::optional<std::string> original = serial::ReadPortsIni(iniPath_);
    fileExisted_ = original.has_value();
    original_ = original.value_or(std::string());
    previous_ = serial::IniValue(original_, kSection, key_);
    written_ = serial::IniWithValue(original_, kSection, key_, devicePath_);
    serial::WritePortsIni(iniPath_, written_);
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
        const serial::TPortsIniLock lock(iniPath_);
        const std::string text = serial::ReadPortsIni(iniPath_).value_or(std::string());
        if (text == written_) {
            // Nobody else touched the file: put back exactly what was there.
            if (fileExisted_)
                serial::WritePortsIni(iniPath_, original_);
            else
                std::filesystem::remove(iniPath_);
            return true;
        }
        if (serial::IniValue(text, kSection, key_) != devicePath_) {
            message =
                key_ + " in " + iniPath_ + " no longer names " + devicePath_ + "; left as it is";
            return true;
        }
        serial::WritePortsIni(iniPath_, serial::IniWithValue(text, kSection, key_, previous_));
        return true;
    } catch (const std::exception& e) {
        message = e.what();
        return false;
    }
}

} // namespace devsim
