#pragma once
// Which device stands behind COMn: ports.ini beside the settings file
// ($XDG_CONFIG_HOME/talvir/ports.ini, by default ~/.config/talvir/ports.ini), section [Ports],
// key COMn, value a device path; without an entry, /dev/ttyS(n-1). Read at every open, so a
// simulator that registers itself is seen at once.

#include <cstdint>
#include <string>

namespace serial {

std::string PortsIniPath();
std::string PortDevicePath(uint16_t ComNumber);

// True when the port can be opened, or exists but another program holds it or the user may not
// use it. Opens and closes the device, so it takes a moment.
bool PortPresent(uint16_t ComNumber);

} // namespace serial
