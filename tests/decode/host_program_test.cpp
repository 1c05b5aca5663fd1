// Which talvir-decode a program starts: the one the environment names, the installed one beside
// it, or the one of the build tree.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "decode/host_program.h"

namespace decode {
namespace {

struct HostCase {
    const char* name;
    const char* variable; // TALVIR_DECODE; null: unset
    bool installed;       // <root>/libexec/talvir/talvir-decode exists
    bool built;           // <root>/decode/talvir-decode exists
    const char* expected; // under <root>, or as it is where it starts with "/"
};

class HostProgramFor : public testing::TestWithParam<HostCase> {};

TEST_P(HostProgramFor, AProgramInItsFolder) {
    const HostCase& c = GetParam();
    const std::filesystem::path root = testing::TempDir() + "talvir-host-program-" + c.name;
    std::filesystem::remove_all(root);
    for (const auto& [exists, path] :
         {std::pair{c.installed, "libexec/talvir/talvir-decode"}, {c.built, "decode/talvir-decode"},
          {true, "bin/talvir-record"}}) {
        if (exists) {
            std::filesystem::create_directories((root / path).parent_path());
            std::ofstream(root / path) << "#!/bin/sh\n";
        }
    }
    if (c.variable)
        setenv("TALVIR_DECODE", c.variable, 1);
    else
        unsetenv("TALVIR_DECODE");
    const std::string expected =
        c.expected[0] == '/' ? std::string(c.expected) : (root / c.expected).string();
    EXPECT_EQ(HostProgram((root / "bin/talvir-record").string()), expected);
    unsetenv("TALVIR_DECODE");
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, HostProgramFor,
    testing::Values(
        HostCase{"Installed", nullptr, true, false, "libexec/talvir/talvir-decode"},
        HostCase{"InstalledBeforeBuilt", nullptr, true, true, "libexec/talvir/talvir-decode"},
        HostCase{"BuildTree", nullptr, false, true, "decode/talvir-decode"},
        // The start then says which program is missing.
        HostCase{"Neither", nullptr, false, false, "libexec/talvir/talvir-decode"},
        HostCase{"Environment", "/opt/host", true, true, "/opt/host"},
        HostCase{"EmptyEnvironment", "", false, true, "decode/talvir-decode"}),
    [](const auto& layout) { return std::string(layout.param.name); });

} // namespace
} // namespace decode
