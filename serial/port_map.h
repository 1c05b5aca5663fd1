#pragma once
// Which device stands behind COMn: ports.ini (ports_ini.h), section [Ports], key COMn, value a
// device path; without an entry, /dev/ttyS(n-1). Read at every open, so a simulator that
// registers itself is seen at once.

#include "serial/device.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace serial {

// Ports are numbered 1 to this.
inline constexpr uint16_t MaxComNumber = 50;

// Throws std::runtime_error when ports.ini exists but cannot be read.
std::string PortDevicePath(uint16_t ComNumber);

// What opening the device at Path as a port would give: Code 0 when it would open, otherwise the
// failure with its text. The device is looked at through ProbeLocalDevice, which leaves it as it
// was; a path that does not exist fails with ecBadId without an open.
TDeviceError ProbeDevice(const std::string& Path);
// A probe's code that means a port is there: it opens, another program holds it, or the user may
// not use it.
bool PortThere(int ProbeCode);

// True when the port can be opened, or exists but another program holds it or the user may not
// use it. Opens and closes an existing device, so it takes a moment.
bool PortPresent(uint16_t ComNumber);

// The numbers from 1 to MaxComNumber whose port is present, ascending. AfterEach, when given,
// runs after every number, present or not.
std::vector<uint16_t> PresentPorts(const std::function<void()>& AfterEach = {});

} // namespace serial
