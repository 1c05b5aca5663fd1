#include "port_map.h"

#include "device.h"
#include "errors.h"

#include <QSettings>
#include <QString>

#include <cstdlib>

namespace serial {

std::string PortsIniPath() {
    const char* Config = std::getenv("XDG_CONFIG_HOME");
    std::string Dir;
    if (Config && *Config)
        Dir = Config;
    else if (const char* Home = std::getenv("HOME"))
        Dir = std::string(Home) + "/.config";
    return Dir + "/talvir/ports.ini";
}

std::string PortDevicePath(uint16_t ComNumber) {
    const QSettings Ini(QString::fromStdString(PortsIniPath()), QSettings::IniFormat);
    const QString Path = Ini.value(QStringLiteral("Ports/COM%1").arg(ComNumber)).toString();
    if (!Path.isEmpty())
        return Path.toStdString();
    return "/dev/ttyS" + std::to_string(ComNumber == 0 ? 0 : ComNumber - 1);
}

bool PortPresent(uint16_t ComNumber) {
    if (ComNumber == 0)
        return false;
    auto Device = CreateLocalDevice();
    const int Result = Device->Open(PortDevicePath(ComNumber));
    if (Result == 0) {
        Device->Close();
        return true;
    }
    return Result == ecAlreadyOpen || Result == ecAccessDenied;
}

} // namespace serial
