#pragma once
// Finding the serial ports of this machine: USB serial adapters named under /dev/serial/by-id get
// entries in ports.ini, so that each keeps its COM number across replugs and reboots, and the port
// dialog describes the device behind a number (its path, and for a USB adapter the vendor,
// product and serial number the kernel reads from it).
//
// The roots are parameters so that tests can lay out a /sys and /dev of their own. Any thread;
// the calls read files and open devices, and RegisterAdapters may wait up to two seconds for
// another writer of ports.ini.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace serial {

struct TDiscoveryRoots {
    std::string Sys = "/sys";
    std::string Dev = "/dev";
};

// The comment line above every entry that RegisterAdapters adds. Entries without it belong to
// the user or to a simulator.
inline constexpr const char* AdapterEntryMark =
    "; added by talvir for the USB serial adapter below; delete both lines to free the number";

struct TRegistration {
    // The numbers given, with the adapter's path.
    std::vector<std::pair<uint16_t, std::string>> Added;
    // Empty, or why ports.ini was left as it was or an adapter got no number.
    std::string Error;
};

// Gives every adapter under <Dev>/serial/by-id that no entry of ports.ini reaches yet the lowest
// COM number that has no entry and whose default device <Dev>/ttyS(n-1) is no working port
// (absent, or failing to open as a UART that is not fitted does). Only adds lines to ports.ini;
// writes under the writers' lock, and not at all when nothing is to be added.
TRegistration RegisterAdapters(const TDiscoveryRoots& Roots = {});

// What sysfs tells about the USB device behind a tty; Found false for anything else.
struct TUsbAdapter {
    bool Found = false;
    std::string VendorId, ProductId, Manufacturer, Product, Serial;
};
TUsbAdapter UsbAdapterOf(const std::string& DevicePath, const TDiscoveryRoots& Roots = {});

// One line about COMn for the port dialog: the device path (and where a link leads), the USB
// adapter behind it, and why a start would fail when the port is held, refused or absent.
// RecordingDevice: the device the running recording has open, empty when none; COMn leading to it
// is said to be in use by the recording rather than held by another program.
std::string DescribePort(uint16_t ComNumber, const TDiscoveryRoots& Roots = {},
                         const std::string& RecordingDevice = {});

} // namespace serial
