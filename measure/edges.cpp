#include "measure/edges.h"

#include <algorithm>
#include <cstddef>

namespace measure {

std::optional<double> NearestEdgeTime(std::span<const double> times, std::span<const double> levels,
                                      double t) {
    const auto n = static_cast<std::ptrdiff_t>(std::min(times.size(), levels.size()));
    const auto end = times.begin() + n;
    // Edges at down, down - 1, ... lie before t, those at up, up + 1, ... at or after it; the
    // nearer of the two next candidates is looked at first, so the first edge met is the nearest.
    const std::ptrdiff_t first = std::lower_bound(times.begin(), end, t) - times.begin();
    std::ptrdiff_t down = first - 1, up = std::max<std::ptrdiff_t>(first, 1);
    while (down >= 1 || up < n) {
        // On a tie the earlier edge wins, so a click halfway between two edges is predictable.
        const bool takeDown = down >= 1 && (up >= n || t - times[down] <= times[up] - t);
        const std::ptrdiff_t i = takeDown ? down-- : up++;
        if (levels[i] != levels[i - 1])
            return times[i];
    }
    return std::nullopt;
}

} // namespace measure
