#include "serial/port_map.h"

#include "serial/errors.h"
#include "serial/ports_ini.h"

#include <cerrno>
#include <filesystem>

namespace serial {

std::string PortDevicePath(uint16_t ComNumber) {
    const std::string Ini = PortsIniPath();
    const std::optional<std::string> Text = Ini.empty() ? std::nullopt : ReadPortsIni(Ini);
    if (Text) {
        const std::optional<std::string> Path =
            IniValue(*Text, "Ports", "COM" + std::to_string(ComNumber));
        if (Path && !Path->empty())
            return *Path;
    }
    return "/dev/ttyS" + std::to_string(ComNumber == 0 ? 0 : ComNumber - 1);
}

TDeviceError ProbeDevice(const std::string& Path) {
    // An unplugged adapter leaves at most a dangling link; no open is needed to know it is gone.
    std::error_code Error;
    if (!std::filesystem::exists(Path, Error) && !Error)
        return DeviceError(ENOENT, Path, ecDeviceReadError);
    return ProbeLocalDevice(Path);
}

bool PortThere(int ProbeCode) {
    return ProbeCode == 0 || ProbeCode == ecAlreadyOpen || ProbeCode == ecAccessDenied;
}

bool PortPresent(uint16_t ComNumber) {
    return ComNumber != 0 && PortThere(ProbeDevice(PortDevicePath(ComNumber)).Code);
}

std::vector<uint16_t> PresentPorts(const std::function<void()>& AfterEach) {
    std::vector<uint16_t> Ports;
    for (uint16_t N = 1; N <= MaxComNumber; ++N) {
        if (PortPresent(N))
            Ports.push_back(N);
        if (AfterEach)
            AfterEach();
    }
    return Ports;
}

} // namespace serial
