// ports.ini text edits, shared by the recorder and talvir-devsim.

#include "serial/ports_ini.h"

#include <gtest/gtest.h>

namespace serial {
namespace {

struct IniCase {
    const char* original;
    const char* registered;         // after COM1 := /dev/pts/4
    const char* restored = nullptr; // when not the original
};

class IniEdit : public testing::TestWithParam<IniCase> {};

TEST_P(IniEdit, RegistersAndRestoresTheEntry) {
    const std::string original = GetParam().original;
    const std::string registered = IniWithValue(original, "Ports", "COM1", "/dev/pts/4");
    EXPECT_EQ(registered, GetParam().registered);
    EXPECT_EQ(IniValue(registered, "ports", "com1"), "/dev/pts/4");
    const auto previous = IniValue(original, "Ports", "COM1");
    EXPECT_EQ(IniWithValue(registered, "Ports", "COM1", previous),
              GetParam().restored ? GetParam().restored : original);
}

INSTANTIATE_TEST_SUITE_P(
    Files, IniEdit,
    testing::Values(IniCase{"", "[Ports]\nCOM1=/dev/pts/4\n"},
                    IniCase{"[Ports]\r\nCOM1 = /dev/ttyUSB0\r\nCOM2=/dev/x\r\n",
                            "[Ports]\r\nCOM1=/dev/pts/4\r\nCOM2=/dev/x\r\n",
                            "[Ports]\r\nCOM1=/dev/ttyUSB0\r\nCOM2=/dev/x\r\n"},
                    IniCase{"; map\n[ports]\ncom2=/dev/x\n\n[Other]\nCOM1=keep\n",
                            "; map\n[ports]\ncom2=/dev/x\nCOM1=/dev/pts/4\n\n[Other]\nCOM1=keep\n"},
                    IniCase{"[Other]\nA=1\n", "[Other]\nA=1\n\n[Ports]\nCOM1=/dev/pts/4\n"},
                    IniCase{"[Other]\nA=1", "[Other]\nA=1\n\n[Ports]\nCOM1=/dev/pts/4\n",
                            "[Other]\nA=1\n"},
                    IniCase{"[Ports]\nCOM2=/dev/x", "[Ports]\nCOM2=/dev/x\nCOM1=/dev/pts/4\n",
                            "[Ports]\nCOM2=/dev/x\n"},
                    // An editor's byte-order mark stays, and the section after it is found.
                    IniCase{"\xEF\xBB\xBF[Ports]\nCOM1=/dev/ttyUSB0\n",
                            "\xEF\xBB\xBF[Ports]\nCOM1=/dev/pts/4\n"}));

TEST(IniEdit, RemovingTheLastKeyDropsItsSection) {
    EXPECT_EQ(IniWithValue("[A]\nx=1\n[Ports]\nCOM1=/dev/pts/4\n\n[B]\ny=2\n", "Ports", "COM1",
                           std::nullopt),
              "[A]\nx=1\n[B]\ny=2\n");
}

TEST(IniEdit, AnAddedKeyGetsItsCommentAboveIt) {
    EXPECT_EQ(
        IniWithValue("[Ports]\nCOM1=/dev/pts/4\n\n[B]\ny=2\n", "Ports", "COM2", "/dev/x", "; mark"),
        "[Ports]\nCOM1=/dev/pts/4\n; mark\nCOM2=/dev/x\n\n[B]\ny=2\n");
    EXPECT_EQ(IniWithValue("", "Ports", "COM2", "/dev/x", "; mark"),
              "[Ports]\n; mark\nCOM2=/dev/x\n");
    // A key that is there only changes its value.
    EXPECT_EQ(IniWithValue("[Ports]\nCOM2=/dev/y\n", "Ports", "COM2", "/dev/x", "; mark"),
              "[Ports]\nCOM2=/dev/x\n");
}

TEST(IniEdit, EntriesOfASectionAreItsKeyLines) {
    using TEntries = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(
        IniEntries("[A]\nCOM9=no\n[ports]\n; c\ncom1 = /dev/a\nnot an entry\nCOM2=\n", "Ports"),
        (TEntries{{"com1", "/dev/a"}, {"COM2", ""}}));
}

} // namespace
} // namespace serial
