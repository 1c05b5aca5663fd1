#pragma once
// The placement values of the settings file as plain values: the rectangles of NormPos and
// MinMaxPos, ShowCmd and Flags against Qt's window states, the keys for a screen size, and the
// arithmetic that keeps a restored window on the screen. No widgets and no screens: the window's
// placement (form_placement.h) reads them off the window and the screen and applies the results.

#include <QRect>
#include <QSize>
#include <Qt>

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace settings {

// Left, top, right, bottom; right and bottom lie just outside.
using TPlacementRect = std::array<int, 4>;

// The show commands and the placement flag of the file.
inline constexpr int ShowNormal = 1;
inline constexpr int ShowMinimized = 2;
inline constexpr int ShowMaximized = 3;
inline constexpr int RestoreToMaximized = 2;

// "left,top,right,bottom".
std::string RectText(const TPlacementRect& r);
// Up to four comma-separated numbers; a number that doesn't parse, or is missing, counts as the
// fallback's.
TPlacementRect ParseRect(std::string_view text, TPlacementRect fallback);

// ShowCmd for a window state: minimised before maximised; full screen counts as maximised.
int ShowCmdOf(Qt::WindowStates state);
// Flags for a window state: RestoreToMaximized for a minimised window that comes back
// maximised.
int FlagsOf(Qt::WindowStates state);
// The window state a stored ShowCmd and Flags ask for. The minimising commands (2, 6, 7) keep
// the maximised state under Flags; 3 maximises; 1, 5, 9 and anything unknown give the normal
// state.
Qt::WindowStates StateOf(int showCmd, int flags);

// The key for a screen size: "NormPos(1280x800)".
std::string ScreenKey(const char* key, QSize size);

// The contents' rectangle a restore applies for a stored one: as stored; for a window of fixed
// size, that size at the stored top-left. None when the result has no width (right not beyond
// left) or reaches beyond what an int holds.
std::optional<QRect> RestoredContents(const TPlacementRect& stored, std::optional<QSize> fixedSize);

// `contents` shrunk to `room`, though never below `minimum`, and moved into it; contents larger
// than the room keep their top-left corner at the room's.
QRect FitInto(QRect contents, const QRect& room, QSize minimum);

} // namespace settings
