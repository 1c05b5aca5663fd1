// The placement values as the settings file holds them, and the arithmetic that brings a stored
// placement back on the screen: well-formed, hand-edited, negative, huge and empty rectangles, and
// the show commands.

#include "settings/placement_record.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>

void PrintTo(const QRect& r, std::ostream* out) {
    *out << r.x() << ',' << r.y() << ' ' << r.width() << 'x' << r.height();
}

namespace {

using namespace settings;

// The rows by their names.
template <class T> std::string CaseName(const testing::TestParamInfo<T>& row) {
    return row.param.Name;
}

// The window's own rectangle, which a number that can't be read leaves as it is.
constexpr TPlacementRect Own = {60, 85, 734, 480};

struct TParseCase {
    const char* Name;
    const char* Text;
    TPlacementRect Expected;
};

class ParseRectTest : public testing::TestWithParam<TParseCase> {};

TEST_P(ParseRectTest, TakesEachNumberThatReadsAndKeepsTheOthers) {
    EXPECT_EQ(ParseRect(GetParam().Text, Own), GetParam().Expected) << GetParam().Text;
}

INSTANTIATE_TEST_SUITE_P(
    NormPos, ParseRectTest,
    testing::Values(TParseCase{"WellFormed", "100,120,760,520", {100, 120, 760, 520}},
                    TParseCase{"BlanksAndSigns", " 100 , +120 ,760,\t520 ", {100, 120, 760, 520}},
                    TParseCase{"Negative", "-5000,-4000,-4400,-3700", {-5000, -4000, -4400, -3700}},
                    TParseCase{"Huge", "0,0,100000,100000", {0, 0, 100000, 100000}},
                    TParseCase{"ZeroSize", "200,150,200,150", {200, 150, 200, 150}},
                    TParseCase{"UpsideDown", "500,400,100,100", {500, 400, 100, 100}},
                    TParseCase{"NoIconPosition", "-1,-1,-1,-1", {-1, -1, -1, -1}},
                    // Hand-edited: each number that doesn't read keeps the window's.
                    TParseCase{"UnreadableNumbers", "x,120,,y", {60, 120, 734, 480}},
                    TParseCase{"NotAnInteger", "1.5,2,3,4", {60, 2, 3, 4}},
                    TParseCase{"BeyondAnInt", "99999999999,2,3,-99999999999", {60, 2, 3, 480}},
                    TParseCase{"TwoNumbers", "10,20", {10, 20, 734, 480}},
                    TParseCase{"Empty", "", Own},
                    TParseCase{"FiveNumbers", "1,2,3,4,5", {1, 2, 3, 4}}),
    CaseName<TParseCase>);

TEST(RectText, IsWhatParseRectReadsBack) {
    EXPECT_EQ(RectText({-1, -1, -1, -1}), "-1,-1,-1,-1");
    EXPECT_EQ(RectText({60, 85, 734, 480}), "60,85,734,480");
    for (const TPlacementRect& r :
         {TPlacementRect{0, 0, 0, 0}, {-5000, -4000, -4400, -3700}, {INT_MIN, 0, INT_MAX, 1}})
        EXPECT_EQ(ParseRect(RectText(r), Own), r) << RectText(r);
}

struct TStateCase {
    const char* Name;
    Qt::WindowStates State;
    int ShowCmd;
    int Flags;
};

class ShowCmdTest : public testing::TestWithParam<TStateCase> {};

TEST_P(ShowCmdTest, NamesTheStateAndComesBackAsIt) {
    const TStateCase& c = GetParam();
    EXPECT_EQ(ShowCmdOf(c.State), c.ShowCmd);
    EXPECT_EQ(FlagsOf(c.State), c.Flags);
    // Full screen comes back maximised; the active state is not the file's.
    Qt::WindowStates back = c.State & ~Qt::WindowActive;
    if (back & Qt::WindowFullScreen)
        back = (back & ~Qt::WindowFullScreen) | Qt::WindowMaximized;
    EXPECT_EQ(StateOf(c.ShowCmd, c.Flags).toInt(), back.toInt());
}

INSTANTIATE_TEST_SUITE_P(
    WindowStates, ShowCmdTest,
    testing::Values(TStateCase{"Normal", Qt::WindowNoState, ShowNormal, 0},
                    TStateCase{"Active", Qt::WindowActive, ShowNormal, 0},
                    TStateCase{"Minimized", Qt::WindowMinimized, ShowMinimized, 0},
                    TStateCase{"Maximized", Qt::WindowMaximized, ShowMaximized, 0},
                    TStateCase{"FullScreen", Qt::WindowFullScreen, ShowMaximized, 0},
                    TStateCase{"MinimizedFromMaximized", Qt::WindowMinimized | Qt::WindowMaximized,
                               ShowMinimized, RestoreToMaximized}),
    CaseName<TStateCase>);

struct TStoredCase {
    const char* Name;
    int ShowCmd;
    int Flags;
    Qt::WindowStates Expected;
};

class StateOfTest : public testing::TestWithParam<TStoredCase> {};

TEST_P(StateOfTest, GivesTheStateTheFileAsksFor) {
    const TStoredCase& c = GetParam();
    EXPECT_EQ(StateOf(c.ShowCmd, c.Flags).toInt(), c.Expected.toInt());
}

INSTANTIATE_TEST_SUITE_P(
    ShowCommands, StateOfTest,
    testing::Values(
        TStoredCase{"Minimize", 2, 0, Qt::WindowMinimized},
        TStoredCase{"MinimizeOtherFlags", 2, 1, Qt::WindowMinimized},
        TStoredCase{"MinimizeToMaximized", 2, 3, Qt::WindowMinimized | Qt::WindowMaximized},
        TStoredCase{"MinimizedInactive", 6, 2, Qt::WindowMinimized | Qt::WindowMaximized},
        TStoredCase{"MinimizedNoActive", 7, 0, Qt::WindowMinimized},
        TStoredCase{"MaximizeIgnoresFlags", 3, 2, Qt::WindowMaximized},
        TStoredCase{"ShowAsIs", 5, 0, Qt::WindowNoState},
        TStoredCase{"Restore", 9, 2, Qt::WindowNoState},
        TStoredCase{"Hide", 0, 0, Qt::WindowNoState},
        TStoredCase{"Unknown", 42, 2, Qt::WindowNoState},
        TStoredCase{"Negative", -3, 2, Qt::WindowNoState}),
    CaseName<TStoredCase>);

TEST(ScreenKey, NamesTheScreenSize) {
    EXPECT_EQ(ScreenKey("NormPos", QSize(1280, 800)), "NormPos(1280x800)");
    EXPECT_EQ(ScreenKey("MinMaxPos", QSize(0, 0)), "MinMaxPos(0x0)");
}

struct TRestoreCase {
    const char* Name;
    TPlacementRect Stored;
    std::optional<QSize> FixedSize;
    std::optional<QRect> Expected;
};

class RestoredContentsTest : public testing::TestWithParam<TRestoreCase> {};

TEST_P(RestoredContentsTest, IsTheStoredRectangleWhereItHasAWidth) {
    EXPECT_EQ(RestoredContents(GetParam().Stored, GetParam().FixedSize), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    NormPos, RestoredContentsTest,
    testing::Values(
        TRestoreCase{"WellFormed", {100, 120, 760, 520}, {}, QRect(100, 120, 660, 400)},
        TRestoreCase{"Negative", {-5000, -4000, -4400, -3700}, {}, QRect(-5000, -4000, 600, 300)},
        TRestoreCase{"Huge", {0, 0, 100000, 100000}, {}, QRect(0, 0, 100000, 100000)},
        TRestoreCase{"ZeroSize", {200, 150, 200, 150}, {}, std::nullopt},
        // No height is still a width: the fitting on the screen gives it the window's minimum.
        TRestoreCase{"ZeroHeight", {100, 100, 700, 100}, {}, QRect(100, 100, 600, 0)},
        TRestoreCase{"UpsideDown", {500, 400, 100, 100}, {}, std::nullopt},
        TRestoreCase{"NoIconPosition", {-1, -1, -1, -1}, {}, std::nullopt},
        TRestoreCase{"FixedSizeAtTheStoredPlace",
                     {30, 40, 900, 900},
                     QSize(674, 395),
                     QRect(30, 40, 674, 395)},
        TRestoreCase{"FixedSizeUpsideDown",
                     {500, 400, 100, 100},
                     QSize(674, 395),
                     QRect(500, 400, 674, 395)},
        TRestoreCase{"FixedSizeWithoutWidth", {30, 40, 900, 900}, QSize(0, 395), std::nullopt},
        // Rows a person typed: spans and ends that no int holds are refused, not wrapped.
        TRestoreCase{"WiderThanAnInt", {-2000000000, 0, 2000000000, 500}, {}, std::nullopt},
        TRestoreCase{"TallerThanAnInt", {0, 2000000000, 500, -2000000000}, {}, std::nullopt},
        TRestoreCase{"FixedSizeBeyondTheEnd",
                     {2147483000, 0, 2147483100, 500},
                     QSize(674, 395),
                     std::nullopt},
        TRestoreCase{"LargestSpan", {-1, 0, 2147483646, 10}, {}, QRect(-1, 0, 2147483647, 10)}),
    CaseName<TRestoreCase>);

struct TFitCase {
    const char* Name;
    QRect Contents;
    QRect Room;
    QSize Minimum;
    QRect Expected;
};

class FitIntoTest : public testing::TestWithParam<TFitCase> {};

TEST_P(FitIntoTest, KeepsTheContentsInTheRoom) {
    const TFitCase& c = GetParam();
    EXPECT_EQ(FitInto(c.Contents, c.Room, c.Minimum), c.Expected);
}

// The room: a 1280x800 screen's free area without a 20-pixel panel at its top and the frame.
const QRect Room(4, 44, 1272, 752);
const QSize Minimum(400, 300);

INSTANTIATE_TEST_SUITE_P(
    Screen, FitIntoTest,
    testing::Values(
        TFitCase{"Fits", QRect(100, 120, 660, 400), Room, Minimum, QRect(100, 120, 660, 400)},
        TFitCase{"FillsTheRoom", Room, Room, Minimum, Room},
        TFitCase{"OffTheScreen", QRect(3000, 3000, 674, 395), Room, Minimum,
                 QRect(602, 401, 674, 395)},
        TFitCase{"Negative", QRect(-5000, -4000, 600, 300), Room, Minimum, QRect(4, 44, 600, 300)},
        TFitCase{"Huge", QRect(0, 0, 100000, 100000), Room, Minimum, Room},
        TFitCase{"WiderThanTheRoom", QRect(200, 100, 3000, 400), Room, Minimum,
                 QRect(4, 100, 1272, 400)},
        TFitCase{"ZeroSize", QRect(200, 150, 0, 0), Room, Minimum, QRect(200, 150, 400, 300)},
        TFitCase{"ZeroHeight", QRect(100, 100, 600, 0), Room, Minimum, QRect(100, 100, 600, 300)},
        // A minimum larger than the room: the top-left corner, and so the title bar, stays on it.
        TFitCase{"MinimumBeyondTheRoom", QRect(300, 200, 674, 395), QRect(0, 0, 640, 480),
                 QSize(700, 500), QRect(0, 0, 700, 500)}),
    CaseName<TFitCase>);

} // namespace
