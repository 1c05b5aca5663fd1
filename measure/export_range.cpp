#include "measure/export_range.h"

#include <algorithm>

namespace measure {

std::pair<std::size_t, std::size_t> ExportRange(std::span<const double> times, bool markersShown,
                                                double marker1, double marker2) {
    if (!markersShown || marker1 == marker2)
        return {0, times.size()};
    const auto [from, to] = std::minmax(marker1, marker2);
    return {
        static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), from) -
                                 times.begin()),
        static_cast<std::size_t>(std::upper_bound(times.begin(), times.end(), to) - times.begin())};
}

} // namespace measure
