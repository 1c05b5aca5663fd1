#include "settings/placement_record.h"

#include "settings/value_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace settings {

std::string RectText(const TPlacementRect& r) {
    return std::to_string(r[0]) + ',' + std::to_string(r[1]) + ',' + std::to_string(r[2]) + ',' +
           std::to_string(r[3]);
}

TPlacementRect ParseRect(std::string_view text, TPlacementRect fallback) {
    for (int& number : fallback) {
        const std::size_t comma = text.find(',');
        if (const std::optional<int> parsed = ParseInteger(text.substr(0, comma)))
            number = *parsed;
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return fallback;
}

int ShowCmdOf(Qt::WindowStates state) {
    if (state & Qt::WindowMinimized)
        return ShowMinimized;
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return ShowMaximized;
    return ShowNormal;
}

int FlagsOf(Qt::WindowStates state) {
    return state.testFlags(Qt::WindowMinimized | Qt::WindowMaximized) ? RestoreToMaximized : 0;
}

Qt::WindowStates StateOf(int showCmd, int flags) {
    switch (showCmd) {
    case 2:
    case 6:
    case 7:
        return flags & RestoreToMaximized ? Qt::WindowMinimized | Qt::WindowMaximized
                                          : Qt::WindowMinimized;
    case 3:
        return Qt::WindowMaximized;
    default: // 1, 5, 9 and anything unknown: normal
        return Qt::WindowNoState;
    }
}

std::string ScreenKey(const char* key, QSize size) {
    return std::string(key) + '(' + std::to_string(size.width()) + 'x' +
           std::to_string(size.height()) + ')';
}

std::optional<QRect> RestoredContents(const TPlacementRect& stored,
                                      std::optional<QSize> fixedSize) {
    // In 64 bits: a row edited by hand may hold any int, and its sums and spans must not wrap.
    std::array<std::int64_t, 4> rect{stored[0], stored[1], stored[2], stored[3]};
    if (fixedSize) {
        rect[2] = rect[0] + fixedSize->width();
        rect[3] = rect[1] + fixedSize->height();
    }
    if (rect[0] >= rect[2])
        return std::nullopt;
    // A rectangle beyond what a window can have is no placement at all.
    constexpr std::int64_t most = std::numeric_limits<int>::max();
    constexpr std::int64_t least = std::numeric_limits<int>::min();
    if (rect[2] > most || rect[3] > most || rect[3] < least || rect[2] - rect[0] > most ||
        std::abs(rect[3] - rect[1]) > most)
        return std::nullopt;
    return QRect(static_cast<int>(rect[0]), static_cast<int>(rect[1]),
                 static_cast<int>(rect[2] - rect[0]), static_cast<int>(rect[3] - rect[1]));
}

QRect FitInto(QRect contents, const QRect& room, QSize minimum) {
    contents.setSize(contents.size().boundedTo(room.size()).expandedTo(minimum));
    contents.moveLeft(
        std::max(std::min(contents.left(), room.right() + 1 - contents.width()), room.left()));
    contents.moveTop(
        std::max(std::min(contents.top(), room.bottom() + 1 - contents.height()), room.top()));
    return contents;
}

} // namespace settings
