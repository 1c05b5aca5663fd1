#include "chart/axis.h"
#include "chart/number_format.h"
#include "support/real_locale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>

using chart::AxisException;
using chart::TChartAxis;

namespace {

TChartAxis MakeAxis(TChartAxis::Kind kind, double min, double max, bool inverted = false) {
    TChartAxis axis(kind);
    axis.SetRange(min, max);
    axis.SetInverted(inverted);
    axis.AdjustRange(false, 0, 0);
    // Plot rectangle 100..300 across, 50..250 down.
    axis.AdjustSpan(100, 50, 300, 250);
    return axis;
}

struct MappingCase {
    const char* name;
    TChartAxis::Kind kind;
    double min, max;
    bool inverted;
    double value;
    int pixel;
};

class AxisMapping : public testing::TestWithParam<MappingCase> {};

TEST_P(AxisMapping, MapsValueToPixel) {
    const MappingCase& c = GetParam();
    const TChartAxis axis = MakeAxis(c.kind, c.min, c.max, c.inverted);
    EXPECT_EQ(axis.AxisValueToPixel(c.value), c.pixel);
}

const double NaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Cases, AxisMapping,
    testing::Values(
        MappingCase{"HorizontalMinimumAtStart", TChartAxis::Bottom, 0, 10, false, 0, 100},
        MappingCase{"HorizontalMaximumAtEnd", TChartAxis::Bottom, 0, 10, false, 10, 300},
        MappingCase{"HorizontalInvertedMinimumAtEnd", TChartAxis::Bottom, 0, 10, true, 0, 300},
        MappingCase{"HorizontalInvertedQuarter", TChartAxis::Bottom, 0, 10, true, 2.5, 250},
        MappingCase{"VerticalMaximumOnTop", TChartAxis::Left, -1, 2, false, 2, 50},
        MappingCase{"VerticalMinimumAtBottom", TChartAxis::Left, -1, 2, false, -1, 250},
        MappingCase{"VerticalInvertedMaximumAtBottom", TChartAxis::Left, -1, 2, true, 2, 250},
        MappingCase{"VerticalInvertedMinimumOnTop", TChartAxis::Left, -1, 2, true, -1, 50},
        // 200 pixels for 400 units: t = v / 2, ties go to the even pixel.
        MappingCase{"TieHalfRoundsToEvenZero", TChartAxis::Bottom, 0, 400, false, 1, 100},
        MappingCase{"TieOneAndHalfRoundsToTwo", TChartAxis::Bottom, 0, 400, false, 3, 102},
        MappingCase{"TieTwoAndHalfRoundsToTwo", TChartAxis::Bottom, 0, 400, false, 5, 102},
        MappingCase{"TieVerticalTwoAndHalf", TChartAxis::Left, 0, 400, false, 5, 248},
        MappingCase{"BelowRangeGoesBeyondStart", TChartAxis::Bottom, 0, 10, false, -5, 0},
        MappingCase{"ZeroRangeGivesCentre", TChartAxis::Bottom, 5, 5, false, 7, 200},
        MappingCase{"FarOutAboveGivesCentre", TChartAxis::Bottom, 0, 10, false, 1e12, 200},
        MappingCase{"FarOutBelowGivesCentre", TChartAxis::Left, 0, 10, false, -1e12, 150},
        MappingCase{"NaNGivesCentre", TChartAxis::Bottom, 0, 10, false, NaN, 200}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(AxisMapping, ZeroRangeAfterSetRangeIsWidenedNotCentred) {
    // SetRange keeps a span of 1e-10, so the ends still map to the ends.
    const TChartAxis axis = MakeAxis(TChartAxis::Bottom, 5, 5);
    EXPECT_GT(axis.EffectiveRange(), 0);
    EXPECT_EQ(axis.AxisValueToPixel(5), 100);
    EXPECT_EQ(axis.AxisValueToPixel(axis.EffectiveMaximum()), 300);
}

TEST(AxisMapping, PixelBackToValueWithinOnePixel) {
    for (bool inverted : {false, true}) {
        for (auto kind : {TChartAxis::Bottom, TChartAxis::Left}) {
            const TChartAxis axis = MakeAxis(kind, -1, 2, inverted);
            const double pixelWidth = 3.0 / 200;
            for (double v = -1; v <= 2; v += 0.0137) {
                EXPECT_NEAR(axis.AxisPixelToValue(axis.AxisValueToPixel(v)), v, pixelWidth / 2)
                    << "inverted " << inverted << " kind " << kind << " v " << v;
            }
        }
    }
}

TEST(AxisMapping, PixelOutsideSpanGivesValueOutsideRange) {
    const TChartAxis axis = MakeAxis(TChartAxis::Bottom, 0, 10);
    EXPECT_DOUBLE_EQ(axis.AxisPixelToValue(0), -5);
    EXPECT_DOUBLE_EQ(axis.AxisPixelToValue(400), 15);
    const TChartAxis vertical = MakeAxis(TChartAxis::Left, 0, 10);
    EXPECT_DOUBLE_EQ(vertical.AxisPixelToValue(50), 10);
    EXPECT_DOUBLE_EQ(vertical.AxisPixelToValue(350), -5);
}

TEST(AxisMapping, EmptySpanGivesZeroValue) {
    TChartAxis axis(TChartAxis::Bottom);
    axis.SetRange(3, 4);
    axis.AdjustRange(false, 0, 0);
    axis.AdjustSpan(100, 0, 100, 0);
    EXPECT_EQ(axis.AxisPixelToValue(100), 0);
    EXPECT_EQ(axis.AxisValueToPixel(3.5), 100);
}

TEST(AxisMapping, SpanFollowsStartAndEndPosition) {
    TChartAxis axis(TChartAxis::Left);
    axis.SetStartPosition(25);
    axis.SetEndPosition(75);
    axis.AdjustSpan(0, 50, 300, 250);
    EXPECT_EQ(axis.StartPixel(), 100);
    EXPECT_EQ(axis.EndPixel(), 200);
    EXPECT_EQ(axis.AxisLength(), 100);
    EXPECT_EQ(axis.CenterPixel(), 150);
}

TEST(AxisSetters, MinimumAboveMaximumIsRefusedAndKeepsTheRange) {
    TChartAxis axis(TChartAxis::Bottom);
    axis.SetMaximum(1);
    try {
        axis.SetMinimum(2);
        FAIL() << "no exception";
    } catch (const AxisException& e) {
        EXPECT_STREQ(e.what(), "Axis Minimum Value must be <= Maximum");
    }
    EXPECT_EQ(axis.Minimum(), 0);
    EXPECT_EQ(axis.Maximum(), 1);
}

TEST(AxisSetters, MaximumBelowMinimumIsRefusedAndKeepsTheRange) {
    TChartAxis axis(TChartAxis::Left);
    axis.SetMinimum(-1);
    axis.SetMaximum(2);
    try {
        axis.SetMaximum(-3);
        FAIL() << "no exception";
    } catch (const AxisException& e) {
        EXPECT_STREQ(e.what(), "Axis Maximum Value must be >= Minimum");
    }
    EXPECT_EQ(axis.Minimum(), -1);
    EXPECT_EQ(axis.Maximum(), 2);
}

TEST(AxisSetters, NegativeOrNaNIncrementIsRefused) {
    TChartAxis axis(TChartAxis::Bottom);
    axis.SetIncrement(1);
    for (double bad : {-0.5, NaN}) {
        try {
            axis.SetIncrement(bad);
            FAIL() << "no exception for " << bad;
        } catch (const AxisException& e) {
            EXPECT_STREQ(e.what(), "Axis increment must be >= 0");
        }
    }
    EXPECT_EQ(axis.Increment(), 1);
    axis.SetIncrement(0);
    EXPECT_EQ(axis.Increment(), 0);
}

TEST(AxisSetters, SetRangeSortsTurnsAutomaticOffAndKeepsMinimalSpan) {
    TChartAxis axis(TChartAxis::Bottom);
    axis.SetRange(2, 1);
    EXPECT_EQ(axis.Minimum(), 1);
    EXPECT_EQ(axis.Maximum(), 2);
    EXPECT_FALSE(axis.Automatic());
    EXPECT_FALSE(axis.AutomaticMinimum());
    EXPECT_FALSE(axis.AutomaticMaximum());
    axis.SetRange(5, 5);
    EXPECT_EQ(axis.Minimum(), 5);
    EXPECT_EQ(axis.Maximum(), 5 + 1e-10);
}

TEST(AxisSetters, PartialAutomaticFlagsFollowTheirRule) {
    TChartAxis axis(TChartAxis::Bottom);
    axis.SetAutomaticMinimum(false);
    EXPECT_FALSE(axis.Automatic());
    EXPECT_TRUE(axis.AutomaticMaximum());
    axis.SetAutomaticMinimum(true);
    EXPECT_TRUE(axis.Automatic());
    axis.SetAutomatic(false);
    axis.SetAutomaticMaximum(true);
    EXPECT_FALSE(axis.Automatic()) << "the minimum is still manual";
    axis.SetAutomatic(true);
    EXPECT_TRUE(axis.AutomaticMinimum() && axis.AutomaticMaximum());
}

TEST(AxisRange, AutomaticEndsComeFromTheDataAndManualOnesStay) {
    TChartAxis axis(TChartAxis::Left);
    axis.AdjustRange(true, -3, 7);
    EXPECT_EQ(axis.EffectiveMinimum(), -3);
    EXPECT_EQ(axis.EffectiveMaximum(), 7);
    axis.AdjustRange(false, 0, 0);
    EXPECT_EQ(axis.EffectiveRange(), 0);
    axis.SetAutomaticMaximum(false);
    axis.SetMaximum(1);
    axis.AdjustRange(true, 4, 9);
    // Minimum from the data lies above the manual maximum: the shown range is swapped.
    EXPECT_EQ(axis.EffectiveMinimum(), 1);
    EXPECT_EQ(axis.EffectiveMaximum(), 4);
}

TEST(AxisState, RestoreGivesBackFlagsAndRawRange) {
    TChartAxis axis(TChartAxis::Top);
    axis.SetAutomaticMinimum(false);
    const chart::TAxisState saved = axis.SaveState();
    axis.SetRange(10, 20);
    axis.RestoreState(saved);
    EXPECT_FALSE(axis.Automatic());
    EXPECT_FALSE(axis.AutomaticMinimum());
    EXPECT_TRUE(axis.AutomaticMaximum());
    EXPECT_EQ(axis.Minimum(), 0);
    EXPECT_EQ(axis.Maximum(), 0) << "a zero span comes back unwidened";
}

struct FormatCase {
    double value;
    const char* c;
    const char* russian; // grouped with a no-break space
};

void PrintTo(const FormatCase& f, std::ostream* out) {
    *out << f.c;
}

class LabelFormat : public testing::TestWithParam<FormatCase> {};

// In the user's locale as a program started under it has it: there the C library writes a comma
// as well, which must not reach the label as a stray ", ".
TEST_P(LabelFormat, UsesThePictureAndTheLocaleSeparators) {
    const FormatCase& f = GetParam();
    const QString picture = QStringLiteral("#,##0.###");
    {
        const test_support::TRealLocale c(QLocale::c());
        EXPECT_EQ(chart::FormatFloat(picture, f.value).toStdString(), f.c);
    }
    const test_support::TRealLocale russian(QLocale(QLocale::Russian, QLocale::Russia));
    EXPECT_EQ(chart::FormatFloat(picture, f.value).toStdString(), f.russian);
}

INSTANTIATE_TEST_SUITE_P(Cases, LabelFormat,
                         testing::Values(FormatCase{0, "0", "0"}, FormatCase{1, "1", "1"},
                                         FormatCase{-1, "-1", "-1"}, FormatCase{0.5, "0.5", "0,5"},
                                         FormatCase{0.25, "0.25", "0,25"},
                                         FormatCase{1234.5678, "1,234.568", "1\u00A0234,568"},
                                         FormatCase{1234567, "1,234,567", "1\u00A0234\u00A0567"},
                                         FormatCase{0.1 + 0.2, "0.3", "0,3"},
                                         FormatCase{-0.0001, "0", "0"},
                                         FormatCase{999.9996, "1,000", "1\u00A0000"}));

class NegativeLabel : public testing::TestWithParam<const char*> {};

// These locales have a minus of their own (U+2212, or a direction mark before the sign); labels
// take only the separators from them.
TEST_P(NegativeLabel, IsWrittenWithHyphenMinusAndTheLocaleSeparators) {
    const QLocale locale(QString::fromLatin1(GetParam()));
    ASSERT_NE(locale.negativeSign(), QStringLiteral("-"));
    const QString picture = QStringLiteral("#,##0.###");
    const QString expected = QStringLiteral("-1") + locale.groupSeparator() +
                             QStringLiteral("234") + locale.decimalPoint() + QStringLiteral("5");
    EXPECT_EQ(chart::FormatFloat(picture, -1234.5, locale).toStdString(), expected.toStdString());
}

INSTANTIATE_TEST_SUITE_P(Locales, NegativeLabel,
                         testing::Values("sv_SE", "fi_FI", "fa_IR", "he_IL", "ar_EG"),
                         [](const testing::TestParamInfo<const char*>& p) {
                             return std::string(p.param);
                         });

TEST(LabelFormat, AxisFormatLabelUsesItsPicture) {
    TChartAxis axis(TChartAxis::Bottom);
    axis.SetAxisValuesFormat(QStringLiteral("0.00"));
    EXPECT_EQ(axis.FormatNumber(1.5).toStdString(),
              chart::FormatFloat(QStringLiteral("0.00"), 1.5).toStdString());
    EXPECT_TRUE(axis.FormatLabel(1.5).endsWith(QStringLiteral("50")));
}

} // namespace
