#include "settings/ini_text.h"
#include "settings/value_text.h"

#include <gtest/gtest.h>

#include <optional>

using namespace settings;

namespace {

TEST(IniText, FirstWritesMakeTheSectionWithKeysInWritingOrder) {
    TIniText ini;
    ASSERT_TRUE(ini.WriteString("TMainForm", "FormVersion", "0"));
    ASSERT_TRUE(ini.WriteString("TMainForm", "NormPos(1024x768)", "60,85,734,480"));
    ASSERT_TRUE(ini.WriteString("TMainForm", "NormPos", "60,85,734,480"));
    ASSERT_TRUE(ini.WriteString("tmainform", "FORMVERSION", "2"));
    EXPECT_EQ(ini.Text(), "[TMainForm]\nFormVersion=2\nNormPos(1024x768)=60,85,734,480\n"
                          "NormPos=60,85,734,480\n");
}

// Only the line of a key written changes; comments, blank lines, other sections, line breaks,
// spacing and lines that mean nothing stay byte for byte.
TEST(IniText, WritesChangeOnlyTheirOwnLines) {
    const std::string before = "; kept\r\n"
                               "[Other]\r\n"
                               "Key = other \r\n"
                               "[TMainForm]\r\n"
                               "  ShowCmd =  3\r\n"
                               "garbage without equals\r\n"
                               "Visible=1\r\n"
                               "\r\n"
                               "; trailing comment\r\n"
                               "[Last]\r\n"
                               "x=1";
    TIniText ini(before);
    EXPECT_EQ(ini.Text(), before);
    ASSERT_TRUE(ini.WriteString("TMainForm", "showcmd", "1"));
    ASSERT_TRUE(ini.WriteString("TMainForm", "NormPos", "1,2,3,4"));
    ASSERT_TRUE(ini.WriteString("New", "a", "b"));
    EXPECT_EQ(ini.Text(), "; kept\r\n"
                          "[Other]\r\n"
                          "Key = other \r\n"
                          "[TMainForm]\r\n"
                          "ShowCmd=1\r\n"
                          "garbage without equals\r\n"
                          "Visible=1\r\n"
                          "NormPos=1,2,3,4\r\n"
                          "\r\n"
                          "; trailing comment\r\n"
                          "[Last]\r\n"
                          "x=1\r\n"
                          "[New]\r\n"
                          "a=b\r\n");
}

TEST(IniText, ReadsLikeTheProfileFunctions) {
    const TIniText ini("top=before any section\n"
                       "[ Main ]\n"
                       "Plain =  spaced value \t\n"
                       "Double=\"quoted \"\n"
                       "Single='x'\n"
                       "Lone=\"\n"
                       "plain=second\n"
                       "[main]\n"
                       "Other=in the second [Main]\n");
    EXPECT_EQ(ini.ReadString("MAIN", "plain", "-"), "spaced value");
    EXPECT_EQ(ini.ReadString("Main", "Double", "-"), "quoted ");
    EXPECT_EQ(ini.ReadString("Main", "Single", "-"), "x");
    EXPECT_EQ(ini.ReadString("Main", "Lone", "-"), "\"");
    EXPECT_EQ(ini.ReadString("Main", "Other", "-"), "-");
    EXPECT_EQ(ini.ReadString("Main", "top", "-"), "-");
    EXPECT_EQ(ini.ReadString("None", "Plain", "fallback"), "fallback");
    EXPECT_FALSE(ini.HasKey("Main", "Missing"));
}

// A value that is itself quoted gets one more pair of double quotes, so it reads back whole.
TEST(IniText, QuotedValuesReadBackAsWritten) {
    TIniText ini;
    for (const char* value : {"\"a\"", "'b'", "\"", "'c\"", "\"\""})
        ASSERT_TRUE(ini.WriteString("S", value + std::string("key"), value));
    EXPECT_EQ(ini.Text(), "[S]\n\"a\"key=\"\"a\"\"\n'b'key=\"'b'\"\n\"key=\"\n'c\"key='c\"\n"
                          "\"\"key=\"\"\"\"\n");
    for (const char* value : {"\"a\"", "'b'", "\"", "'c\"", "\"\""})
        EXPECT_EQ(ini.ReadString("S", value + std::string("key"), "-"), value);
}

TEST(IniText, MalformedLinesAreNamedAndKept) {
    const std::string text = std::string("a=1\n[Broken\n[]\n=v\n[S]\nno equals\nk=v\n\0\xff\n", 39);
    TIniText ini(text);
    ASSERT_EQ(ini.Problems().size(), 6u);
    EXPECT_EQ(ini.Problems()[0].Line, 1);
    EXPECT_EQ(ini.Problems()[0].What, "a key before the first section");
    EXPECT_EQ(ini.Problems()[1].What, "a section header without \"]\"");
    EXPECT_EQ(ini.Problems()[2].What, "a section header without a name");
    EXPECT_EQ(ini.Problems()[3].What, "a value without a key");
    EXPECT_EQ(ini.Problems()[4].Line, 6);
    EXPECT_EQ(ini.Problems()[5].Line, 8);
    EXPECT_EQ(ini.ReadString("S", "k", "-"), "v");
    ASSERT_TRUE(ini.WriteString("S", "k", "w"));
    EXPECT_EQ(ini.Text(), std::string("a=1\n[Broken\n[]\n=v\n[S]\nno equals\nk=w\n\0\xff\n", 39));
}

// Editors may start a UTF-8 file with a byte-order mark: the first section is found all the
// same, and the mark stays at the start.
TEST(IniText, LeadingByteOrderMarkIsSkippedAndKept) {
    TIniText ini("\xEF\xBB\xBF[TMainForm]\r\nShowCmd=3\r\n");
    EXPECT_TRUE(ini.Problems().empty());
    EXPECT_EQ(ini.ReadString("TMainForm", "ShowCmd", "-"), "3");
    ASSERT_TRUE(ini.WriteString("TMainForm", "ShowCmd", "1"));
    ASSERT_TRUE(ini.WriteString("TMainForm", "Visible", "0"));
    EXPECT_EQ(ini.Text(), "\xEF\xBB\xBF[TMainForm]\r\nShowCmd=1\r\nVisible=0\r\n");
    // Only at the very start: elsewhere the bytes are part of their line.
    EXPECT_EQ(TIniText("[S]\n\xEF\xBB\xBFk=v\n").ReadString("S", "k", "-"), "-");
}

TEST(IniText, RefusesWhatCannotStayOnOneLine) {
    TIniText ini("[S]\n");
    for (auto [section, key, value] : {std::tuple{"S", "k", "two\nlines"},
                                       {"S", "a=b", "v"},
                                       {"S", "", "v"},
                                       {"", "k", "v"},
                                       {"a]b", "k", "v"},
                                       {"S", " k", "v"},
                                       {"S", "[k", "v"},
                                       {"S", ";k", "v"}})
        EXPECT_FALSE(ini.WriteString(section, key, value)) << key;
    EXPECT_EQ(ini.Text(), "[S]\n");
}

struct TFloatCase {
    long double value;
    int digits;
    const char* text;
};

class FloatText : public testing::TestWithParam<TFloatCase> {};

TEST_P(FloatText, IsTheGeneralFormatWithAPoint) {
    EXPECT_EQ(settings::FloatText(GetParam().value, GetParam().digits), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FloatText,
    testing::Values(TFloatCase{0.001L, ExtendedDigits, "0.001"},
                    TFloatCase{0.0097656L, ExtendedDigits, "0.0097656"},
                    TFloatCase{35.55609809027778L, ExtendedDigits, "35.55609809027778"},
                    TFloatCase{1.0L / 3, ExtendedDigits, "0.333333333333333333"},
                    TFloatCase{1.0L / 3, SingleDigits, "0.3333333"},
                    TFloatCase{-2.5L, ExtendedDigits, "-2.5"}, TFloatCase{0, ExtendedDigits, "0"},
                    TFloatCase{0.0001L, ExtendedDigits, "0.0001"},
                    TFloatCase{0.000015L, ExtendedDigits, "1.5E-5"},
                    TFloatCase{123456789012345678.0L, ExtendedDigits, "123456789012345678"},
                    TFloatCase{1e18L, ExtendedDigits, "1E18"}, TFloatCase{999.9999L, 5, "1000"}));

TEST(ValueText, FloatsReadWithAPointOrTheLocalesSeparator) {
    EXPECT_EQ(TextToFloat("1.5", "."), 1.5L);
    EXPECT_EQ(TextToFloat(" 1.5 ", ","), 1.5L);
    EXPECT_EQ(TextToFloat("1,5", ","), 1.5L);
    EXPECT_EQ(TextToFloat("-1.5E-5", "."), -1.5e-5L);
    EXPECT_EQ(TextToFloat("0.0097656", "."), 0.0097656L);
    for (const char* bad : {"1,5", "", "x", "1.5x", "inf", "nan", "+-1", "--1", "0x10", "1.2.3"})
        EXPECT_EQ(TextToFloat(bad, "."), std::nullopt) << bad;
}

TEST(ValueText, IntegersReadAsDecimalOrZero) {
    EXPECT_EQ(TextToInteger(" 7 "), 7);
    EXPECT_EQ(TextToInteger("-3"), -3);
    EXPECT_EQ(TextToInteger("+2"), 2);
    for (const char* bad : {"x", "", "1.5", "+-1", "99999999999", "0x1F", "$1F"})
        EXPECT_EQ(TextToInteger(bad), 0) << bad;
    EXPECT_EQ(ParseInteger("0"), 0);
    EXPECT_EQ(ParseInteger("x"), std::nullopt);
}

} // namespace
