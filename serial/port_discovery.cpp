#include "serial/port_discovery.h"

#include "serial/errors.h"
#include "serial/port_map.h"
#include "serial/ports_ini.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

#include <strings.h>

namespace serial {

namespace fs = std::filesystem;

namespace {

// The number of a key COMn, 1 to MaxComNumber, or 0 for any other key.
uint16_t ComNumberOfKey(std::string_view Key) {
    if (Key.size() < 4 || strncasecmp(Key.data(), "COM", 3) != 0)
        return 0;
    unsigned N = 0;
    const auto [End, Error] = std::from_chars(Key.data() + 3, Key.data() + Key.size(), N);
    if (Error != std::errc() || End != Key.data() + Key.size() || N > MaxComNumber)
        return 0;
    return static_cast<uint16_t>(N);
}

// Where a path leads once every link is followed; empty when it leads nowhere.
std::string Canonical(const std::string& Path) {
    std::error_code Error;
    const fs::path Target = fs::canonical(Path, Error);
    return Error ? std::string() : Target.string();
}

// One name for a device and each link to it: where the path leads, or the path itself when it
// leads nowhere.
std::string DeviceBehind(const std::string& Path) {
    const std::string Target = Canonical(Path);
    return Target.empty() ? Path : Target;
}

// The adapters plugged in now, by their by-id paths, in name order so that adapters found
// together are numbered the same way every time.
std::vector<std::string> PluggedAdapters(const TDiscoveryRoots& Roots) {
    const fs::path Folder = fs::path(Roots.Dev) / "serial" / "by-id";
    std::vector<std::string> Adapters;
    std::error_code Error;
    for (const fs::directory_entry& Entry : fs::directory_iterator(Folder, Error))
        if (fs::exists(Entry.path(), Error))
            Adapters.push_back(Entry.path().string());
    std::sort(Adapters.begin(), Adapters.end());
    return Adapters;
}

std::string Attribute(const fs::path& Folder, const char* Name) {
    std::ifstream File(Folder / Name);
    std::string Value;
    std::getline(File, Value);
    while (!Value.empty() && (Value.back() == ' ' || Value.back() == '\r'))
        Value.pop_back();
    return Value;
}

} // namespace

TRegistration RegisterAdapters(const TDiscoveryRoots& Roots) {
    TRegistration Result;
    const std::vector<std::string> Adapters = PluggedAdapters(Roots);
    if (Adapters.empty())
        return Result;
    const std::string Ini = PortsIniPath();
    if (Ini.empty()) {
        Result.Error = "ports.ini has no folder: neither XDG_CONFIG_HOME nor HOME is set";
        return Result;
    }
    try {
        const TPortsIniLock Lock(Ini);
        std::string Text = ReadPortsIni(Ini).value_or(std::string());
        std::set<uint16_t> Taken;
        // An adapter is reached when an entry names it, by its by-id link or by where that leads.
        std::set<std::string> Reached;
        for (const auto& [Key, Value] : IniEntries(Text, "Ports")) {
            Taken.insert(ComNumberOfKey(Key));
            Reached.insert(Value);
            Reached.insert(Canonical(Value));
        }
        // A fitted UART keeps its number: an adapter never hides it.
        const auto Free = [&](uint16_t N) {
            return !Taken.count(N) &&
                   !PortThere(ProbeDevice(Roots.Dev + "/ttyS" + std::to_string(N - 1)).Code);
        };
        for (const std::string& Adapter : Adapters) {
            if (Reached.count(Adapter) || Reached.count(Canonical(Adapter)))
                continue;
            uint16_t N = 1;
            while (N <= MaxComNumber && !Free(N))
                ++N;
            if (N > MaxComNumber) {
                Result.Error = "no COM number is free for " + Adapter;
                continue;
            }
            Text =
                IniWithValue(Text, "Ports", "COM" + std::to_string(N), Adapter, AdapterEntryMark);
            Taken.insert(N);
            Reached.insert(Adapter);
            Result.Added.emplace_back(N, Adapter);
        }
        if (!Result.Added.empty())
            WritePortsIni(Ini, Text);
    } catch (const std::exception& Error) {
        Result.Added.clear();
        Result.Error = Error.what();
    }
    return Result;
}

TUsbAdapter UsbAdapterOf(const std::string& DevicePath, const TDiscoveryRoots& Roots) {
    const std::string Target = Canonical(DevicePath);
    const std::string Name = fs::path(Target.empty() ? DevicePath : Target).filename().string();
    std::error_code Error;
    const fs::path Sys = fs::canonical(Roots.Sys, Error);
    const fs::path Device = fs::canonical(Sys / "class" / "tty" / Name / "device", Error);
    if (Error || Name.empty())
        return {};
    // The tty hangs below the adapter's interface; the USB device that carries the vendor and
    // product is one of its parents. A UART's parents are platform or PCI devices without them.
    for (fs::path Folder = Device; Folder != Sys && Folder.has_relative_path();
         Folder = Folder.parent_path()) {
        if (!fs::exists(Folder / "idVendor", Error))
            continue;
        return {true,
                Attribute(Folder, "idVendor"),
                Attribute(Folder, "idProduct"),
                Attribute(Folder, "manufacturer"),
                Attribute(Folder, "product"),
                Attribute(Folder, "serial")};
    }
    return {};
}

std::string DescribePort(uint16_t ComNumber, const TDiscoveryRoots& Roots,
                         const std::string& RecordingDevice) {
    const std::string Path = PortDevicePath(ComNumber);
    std::string Line = Path;
    if (const std::string Target = Canonical(Path); !Target.empty() && Target != Path)
        Line += " -> " + Target;
    if (const TUsbAdapter Usb = UsbAdapterOf(Path, Roots); Usb.Found) {
        Line += " | USB " + Usb.VendorId + ":" + Usb.ProductId;
        for (const std::string* Text : {&Usb.Manufacturer, &Usb.Product})
            if (!Text->empty())
                Line += " " + *Text;
        if (!Usb.Serial.empty())
            Line += ", serial " + Usb.Serial;
    }
    std::string Status;
    if (!RecordingDevice.empty() && DeviceBehind(Path) == DeviceBehind(RecordingDevice))
        Status = "in use by this recording"; // our own hold; a probe would call it another's
    else if (const TDeviceError Probe = ProbeDevice(Path); Probe.Code == ecAlreadyOpen)
        Status = "held by another program";
    else if (Probe.Code == ecBadId)
        Status = "no such device";
    else if (Probe.Code != 0)
        Status = Probe.Text; // a refused device says why and how to get access
    if (!Status.empty())
        Line += " | " + Status;
    std::replace(Line.begin(), Line.end(), '\n', ' ');
    return Line;
}

} // namespace serial
