#include "controls/spin_button.h"
#include "controls/spin_text.h"

#include <gtest/gtest.h>

using namespace controls;

namespace {

const TSpinFormat Point{vtFloat, 7, QStringLiteral(".")};
const TSpinFormat Comma{vtFloat, 7, QStringLiteral(",")};
const TSpinFormat Integer{vtInteger, 2, QStringLiteral(".")};
const TSpinFormat Hex{vtHex, 2, QStringLiteral(".")};

TEST(SpinClamp, LimitsOnlyWhenTheyDiffer) {
    EXPECT_EQ(ClampSpinValue(0, 0.01L, 1000), 0.01L);
    EXPECT_EQ(ClampSpinValue(5000, 0.01L, 1000), 1000);
    EXPECT_EQ(ClampSpinValue(5, 0.01L, 1000), 5);
    EXPECT_EQ(ClampSpinValue(-7, 3, 3), -7);
}

struct ParseCase {
    const char* text;
    TSpinFormat format;
    long double minValue;
    long double expected;
};

class SpinParse : public testing::TestWithParam<ParseCase> {};

TEST_P(SpinParse, ReadsTheTextOrFallsBackToTheLowerLimit) {
    const ParseCase& c = GetParam();
    EXPECT_EQ(ParseSpinText(QString::fromUtf8(c.text), c.format, c.minValue), c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SpinParse,
    testing::Values(ParseCase{"0.0097656", Point, 0, 0.0097656L},
                    ParseCase{"0,0097656", Comma, 0, 0.0097656L},
                    ParseCase{" 1.5 ", Point, 0, 1.5L}, ParseCase{"-2.25", Point, 0, -2.25L},
                    ParseCase{"+3", Point, 0, 3}, ParseCase{"1e3", Point, 0, 1000},
                    ParseCase{"1.5", Comma, 0.25L, 0.25L}, ParseCase{"", Point, 0.01L, 0.01L},
                    ParseCase{"-", Point, 0.5L, 0.5L}, ParseCase{"+-1", Point, 0.5L, 0.5L},
                    ParseCase{"1.2.3", Point, 0.5L, 0.5L}, ParseCase{"1e", Point, 0.5L, 0.5L},
                    ParseCase{"inf", Point, 0.5L, 0.5L}, ParseCase{"42", Integer, 0, 42},
                    ParseCase{"-42", Integer, 0, -42}, ParseCase{"4.2", Integer, 2.7L, 2},
                    ParseCase{"", Integer, -2.7L, -2}, ParseCase{"1F", Hex, 0, 31},
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
                         testing::Values(FormatCase{0.009765625L, Point, "0.0097656"},
                                         FormatCase{0.009765625L, Comma, "0,0097656"},
                                         FormatCase{35.55609809027778L, Point, "35.5560981"},
                                         FormatCase{1, TSpinFormat{vtFloat, 3, "."}, "1.000"},
                                         FormatCase{2.5L, TSpinFormat{vtFloat, 0, "."}, "2"},
                                         FormatCase{-0.0001L, TSpinFormat{vtFloat, 2, "."}, "0.00"},
                                         FormatCase{-1.25L, TSpinFormat{vtFloat, 1, ","}, "-1,2"},
                                         FormatCase{2.5L, Integer, "2"},
                                         FormatCase{3.5L, Integer, "4"},
                                         FormatCase{-7.6L, Integer, "-8"},
                                         FormatCase{255, Hex, "FF"}, FormatCase{-26, Hex, "-1A"}));

struct CharCase {
    char16_t key;
    const char* text;
    TSpinFormat format;
    bool editorEnabled;
    bool accepted;
};

class SpinTyping : public testing::TestWithParam<CharCase> {};

TEST_P(SpinTyping, FiltersTypedCharacters) {
    const CharCase& c = GetParam();
    EXPECT_EQ(AcceptsSpinChar(QChar(c.key), QString::fromUtf8(c.text), c.format, c.editorEnabled),
              c.accepted)
        << "key " << int(c.key) << " after '" << c.text << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SpinTyping,
    testing::Values(
        CharCase{u'7', "", Point, true, true}, CharCase{u'-', "1", Point, true, true},
        CharCase{u'+', "", Integer, true, true}, CharCase{u'.', "1", Point, true, true},
        CharCase{u'.', "1.5", Point, true, false}, CharCase{u',', "1", Point, true, false},
        CharCase{u',', "1", Comma, true, true}, CharCase{u',', "1,5", Comma, true, false},
        CharCase{u'.', "1", Comma, true, false}, CharCase{u'E', "1", Point, true, true},
        CharCase{u'e', "1E5", Point, true, false}, CharCase{u'E', "1e5", Point, true, false},
        CharCase{u'x', "", Point, true, false}, CharCase{u'a', "", Point, true, false},
        CharCase{u'a', "", Hex, true, true}, CharCase{u'F', "", Hex, true, true},
        CharCase{u'g', "", Hex, true, false}, CharCase{u'E', "", Integer, true, false},
        CharCase{u'.', "", Integer, true, false},
        CharCase{u'\u0663', "", Integer, true, false}, // Arabic-Indic three
        CharCase{u'\r', "", Point, true, true}, CharCase{u'\x1b', "", Point, true, true},
        CharCase{u'\b', "12", Point, true, true}, CharCase{u'5', "12", Point, false, false},
        CharCase{u'\b', "12", Point, false, false}, CharCase{u'.', "12", Point, false, false},
        CharCase{u'\r', "12", Point, false, true}));

struct PartCase {
    TSpinButtonKind kind;
    QPoint point;
    TSpinPart expected;
};

class SpinButtonParts : public testing::TestWithParam<PartCase> {};

TEST_P(SpinButtonParts, SplitsTheButtonIntoUpAndDown) {
    const PartCase& c = GetParam();
    EXPECT_EQ(SpinPartAt(c.kind, QSize(20, 20), c.point), c.expected)
        << c.point.x() << "," << c.point.y();
}

INSTANTIATE_TEST_SUITE_P(Cases, SpinButtonParts,
                         testing::Values(PartCase{bkDiagonal, {0, 0}, TSpinPart::Top},
                                         PartCase{bkDiagonal, {18, 0}, TSpinPart::Top},
                                         PartCase{bkDiagonal, {0, 18}, TSpinPart::Top},
                                         PartCase{bkDiagonal, {9, 9}, TSpinPart::Top},
                                         PartCase{bkDiagonal, {9, 10}, TSpinPart::Bottom},
                                         PartCase{bkDiagonal, {19, 0}, TSpinPart::Bottom},
                                         PartCase{bkDiagonal, {19, 19}, TSpinPart::Bottom},
                                         PartCase{bkStandard, {19, 9}, TSpinPart::Top},
                                         PartCase{bkStandard, {0, 10}, TSpinPart::Bottom},
                                         PartCase{bkStandard, {20, 5}, TSpinPart::None},
                                         PartCase{bkDiagonal, {-1, 5}, TSpinPart::None}));

} // namespace
