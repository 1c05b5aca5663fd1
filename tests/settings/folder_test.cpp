// The settings file and the port map beside it: one folder from the same environment, with
// relative values ignored.

#include "serial/ports_ini.h"
#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <stdexcept>

namespace {

struct TFolderCase {
    const char* ConfigHome; // nullptr: not set
    const char* Home;
    const char* Folder; // nullptr: none
};

void PrintTo(const TFolderCase& c, std::ostream* out) {
    const auto shown = [](const char* value) { return value ? value : "(not set)"; };
    *out << "XDG_CONFIG_HOME=" << shown(c.ConfigHome) << " HOME=" << shown(c.Home);
}

void SetVariable(const char* name, const char* value) {
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

class Folder : public testing::TestWithParam<TFolderCase> {};

TEST_P(Folder, IsOneForTheSettingsAndThePortMap) {
    SetVariable("XDG_CONFIG_HOME", GetParam().ConfigHome);
    SetVariable("HOME", GetParam().Home);
    if (!GetParam().Folder) {
        EXPECT_EQ(serial::PortsIniPath(), "");
        EXPECT_THROW(settings::SettingsFolder(), std::runtime_error);
        return;
    }
    EXPECT_EQ(settings::SettingsFolder().toStdString(), GetParam().Folder);
    EXPECT_EQ(serial::PortsIniPath(), std::string(GetParam().Folder) + "/ports.ini");
}

INSTANTIATE_TEST_SUITE_P(Environments, Folder,
                         testing::Values(TFolderCase{"/cfg", "/home/u", "/cfg/talvir"},
                                         TFolderCase{"cfg", "/home/u", "/home/u/.config/talvir"},
                                         TFolderCase{"./cfg", "/home/u", "/home/u/.config/talvir"},
                                         TFolderCase{"", "/home/u", "/home/u/.config/talvir"},
                                         TFolderCase{nullptr, "/home/u", "/home/u/.config/talvir"},
                                         TFolderCase{"cfg", "home/u", nullptr},
                                         TFolderCase{nullptr, nullptr, nullptr}));

} // namespace
