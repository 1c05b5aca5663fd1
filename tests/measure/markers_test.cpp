#include "measure/markers.h"

#include "support/real_locale.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace measure {

void PrintTo(TMarkerKeyAction action, std::ostream* out) {
    constexpr const char* names[] = {"PassOn", "Nothing", "PlaceMarker1", "PlaceMarker2",
                                     "Release"};
    *out << names[static_cast<int>(action)];
}

} // namespace measure

namespace {

using measure::TMarkerKeyAction;
using measure::TMarkerKeyContext;

struct TReadoutCase {
    const char* name;
    QLocale locale;
    double t1;
    double t2;
    const char* text;
};

void PrintTo(const TReadoutCase& c, std::ostream* out) {
    *out << c.name;
}

class MarkerReadoutTest : public testing::TestWithParam<TReadoutCase> {};

// Under the user's locale, in which the window starts.
TEST_P(MarkerReadoutTest, ShowsTimesDistanceAndFrequency) {
    const TReadoutCase& c = GetParam();
    const test_support::TRealLocale real(c.locale);
    EXPECT_EQ(measure::MarkerReadout(c.t1, c.t2).toStdString(), c.text);
}

const QLocale C = QLocale::c();

INSTANTIATE_TEST_SUITE_P(
    Examples, MarkerReadoutTest,
    testing::Values(
        TReadoutCase{"both_at_zero", C, 0, 0, "t1=0 мс   t2=0 мс   dt=0 мс   f=? Гц"},
        TReadoutCase{"together_elsewhere", C, 3, 3, "t1=3 мс   t2=3 мс   dt=0 мс   f=? Гц"},
        TReadoutCase{"point", C, 1.5, 3.75, "t1=1.5 мс   t2=3.75 мс   dt=2.25 мс   f=444.444 Гц"},
        TReadoutCase{"comma", QLocale(QLocale::Russian, QLocale::Russia), 1.5, 3.75,
                     "t1=1,5 мс   t2=3,75 мс   dt=2,25 мс   f=444,444 Гц"},
        // The Arabic decimal separator U+066B, which no single byte holds.
        TReadoutCase{"arabic_separator", QLocale(QLocale::Pashto, QLocale::Afghanistan), 1.5, 3.75,
                     "t1=1\u066B5 мс   t2=3\u066B75 мс   dt=2\u066B25 мс   f=444\u066B444 Гц"},
        TReadoutCase{"marker_2_first", C, 2, 1, "t1=2 мс   t2=1 мс   dt=1 мс   f=1000 Гц"},
        TReadoutCase{"before_zero", C, -0.5, 0.5, "t1=-0.5 мс   t2=0.5 мс   dt=1 мс   f=1000 Гц"},
        TReadoutCase{"frequency_with_an_exponent", C, 0, 0.0001,
                     "t1=0 мс   t2=0.0001 мс   dt=0.0001 мс   f=1e+07 Гц"}),
    [](const auto& row) { return std::string(row.param.name); });

struct TKeyCase {
    const char* name;
    int key;
    TMarkerKeyContext context;
    TMarkerKeyAction action;
};

void PrintTo(const TKeyCase& c, std::ostream* out) {
    *out << c.name;
}

class MarkerKeyTest : public testing::TestWithParam<TKeyCase> {};

TEST_P(MarkerKeyTest, DoesWhatTheKeyAsks) {
    EXPECT_EQ(measure::MarkerKeyAction(GetParam().key, GetParam().context), GetParam().action);
}

// Markers shown with the chart focused, the pointer over the plot or neither.
constexpr TMarkerKeyContext Focused{.MarkersShown = true, .ChartFocused = true};
constexpr TMarkerKeyContext FocusedOverPlot{
    .MarkersShown = true, .ChartFocused = true, .PointerOverPlot = true};
constexpr TMarkerKeyContext OverPlot{.MarkersShown = true, .PointerOverPlot = true};
constexpr TMarkerKeyContext Elsewhere{.MarkersShown = true};
constexpr TMarkerKeyContext Hidden{.ChartFocused = true, .PointerOverPlot = true};
// Typing in a field is typing, wherever the pointer is.
constexpr TMarkerKeyContext Typing{
    .MarkersShown = true, .TypingInField = true, .PointerOverPlot = true};

INSTANTIATE_TEST_SUITE_P(
    Keys, MarkerKeyTest,
    testing::Values(
        TKeyCase{"1_on_the_focused_chart", Qt::Key_1, FocusedOverPlot,
                 TMarkerKeyAction::PlaceMarker1},
        TKeyCase{"2_on_the_focused_chart", Qt::Key_2, FocusedOverPlot,
                 TMarkerKeyAction::PlaceMarker2},
        TKeyCase{"Esc_on_the_focused_chart", Qt::Key_Escape, FocusedOverPlot,
                 TMarkerKeyAction::Release},
        // No time to put a marker at; the key is still the chart's.
        TKeyCase{"1_focused_pointer_off_the_plot", Qt::Key_1, Focused, TMarkerKeyAction::Nothing},
        TKeyCase{"Esc_focused_pointer_off_the_plot", Qt::Key_Escape, Focused,
                 TMarkerKeyAction::Release},
        TKeyCase{"2_over_the_plot_unfocused", Qt::Key_2, OverPlot, TMarkerKeyAction::PlaceMarker2},
        TKeyCase{"Esc_over_the_plot_unfocused", Qt::Key_Escape, OverPlot,
                 TMarkerKeyAction::Release},
        TKeyCase{"1_neither_focused_nor_over_the_plot", Qt::Key_1, Elsewhere,
                 TMarkerKeyAction::PassOn},
        TKeyCase{"Esc_neither_focused_nor_over_the_plot", Qt::Key_Escape, Elsewhere,
                 TMarkerKeyAction::PassOn},
        TKeyCase{"1_with_the_markers_hidden", Qt::Key_1, Hidden, TMarkerKeyAction::PassOn},
        TKeyCase{"1_typed_in_a_field", Qt::Key_1, Typing, TMarkerKeyAction::PassOn},
        TKeyCase{"Esc_typed_in_a_field", Qt::Key_Escape, Typing, TMarkerKeyAction::PassOn},
        TKeyCase{"3_on_the_focused_chart", Qt::Key_3, FocusedOverPlot, TMarkerKeyAction::PassOn}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
