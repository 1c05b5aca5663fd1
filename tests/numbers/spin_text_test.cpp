#include "numbers/spin_text.h"

#include <gtest/gtest.h>

using namespace numbers;

namespace {

const TSpinFormat Point{vtFloat, 7, QStringLiteral(".")};
const TSpinFormat Comma{vtFloat, 7, QStringLiteral(",")};
const TSpinFormat Integer{vtInteger, 2, QStringLiteral(".")};
const TSpinFormat Hex{vtHex, 2, QStringLiteral(".")};

struct ParseCase {
    const char* text;
    TSpinFormat format;
    long double minValue, expected;
};

class SpinParse : public testing::TestWithParam<ParseCase> {};

TEST_P(SpinParse, ReadsTheTextOrFallsBackToTheLowerLimit) {
    const ParseCase& c = GetParam();
    EXPECT_EQ(ParseSpinText(QString::fromUtf8(c.text), c.format, c.minValue), c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SpinParse,
    testing::Values(ParseCase{" -2.25 ", Point, 0, -2.25L}, ParseCase{"1e3", Point, 0, 1000},
                    ParseCase{"+-1", Point, 0.5L, 0.5L}, ParseCase{"-", Point, 0.5L, 0.5L},
                    ParseCase{"1.2.3", Point, 0.5L, 0.5L}, ParseCase{"1e", Point, 0.5L, 0.5L},
                    ParseCase{"inf", Point, 0.5L, 0.5L}, ParseCase{"-42", Integer, 0, -42},
                    ParseCase{"4.2", Integer, 2.7L, 2}, ParseCase{"", Integer, -2.7L, -2},
                    ParseCase{"ff", Hex, 0, 255}, ParseCase{"$1F", Hex, 1, 1},
                    ParseCase{"99999999999999999999", Integer, 7, 7}));

struct FormatCase {
    long double value;
    TSpinFormat format;
    const char* expected;
};

class SpinFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(SpinFormat, ShowsTheValueInTheEditsNotation) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(FormatSpinValue(c.value, c.format).toStdString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SpinFormat,
                         testing::Values(FormatCase{35.55609809027778L, Point, "35.5560981"},
                                         FormatCase{2.5L, TSpinFormat{vtFloat, 0, "."}, "2"},
                                         FormatCase{-0.0001L, TSpinFormat{vtFloat, 2, "."}, "0.00"},
                                         FormatCase{-1.25L, TSpinFormat{vtFloat, 1, ","}, "-1,2"},
                                         FormatCase{-1.5e200L, Point, "-1.5e+200"},
                                         FormatCase{2.5L, Integer, "2"},
                                         FormatCase{3.5L, Integer, "4"},
                                         FormatCase{-7.6L, Integer, "-8"},
                                         FormatCase{-26, Hex, "-1A"}));

TEST(SpinTyping, TakesOnlyAsciiDigits) {
    EXPECT_FALSE(AcceptsSpinChar(QChar(u'\u0663'), "", Integer, true)); // Arabic-Indic three
    EXPECT_TRUE(AcceptsSpinChar(QChar(u'3'), "", Integer, true));
}

} // namespace
