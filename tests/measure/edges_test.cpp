#include "measure/edges.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>
#include <vector>

using measure::NearestEdgeTime;

namespace {

// Every level change looked at; the nearest wins, the earlier one on a tie.
std::optional<double> BruteForce(const std::vector<double>& times,
                                 const std::vector<double>& levels, double t) {
    std::optional<double> best;
    for (std::size_t i = 1; i < times.size(); ++i)
        if (levels[i] != levels[i - 1] && (!best || std::fabs(times[i] - t) < std::fabs(*best - t)))
            best = times[i];
    return best;
}

} // namespace

TEST(NearestEdgeTime, AgreesWithLookingAtEveryEdge) {
    std::mt19937 rng(12345);
    for (int trace = 0; trace < 200; ++trace) {
        const int n = 1 + static_cast<int>(rng() % 60);
        std::vector<double> times, levels;
        double time = -5;
        for (int i = 0; i < n; ++i) {
            // Uneven steps, as in a file another tool wrote; some traces change rarely.
            time += 0.25 * (1 + rng() % 4);
            times.push_back(time);
            levels.push_back(trace % 3 == 0 ? (rng() % 10 == 0) : (rng() % 2));
        }
        for (double t = times.front() - 3; t <= times.back() + 3; t += 0.125)
            ASSERT_EQ(measure::NearestEdgeTime(times, levels, t), BruteForce(times, levels, t))
                << "trace " << trace << " at " << t;
    }
}

TEST(NearestEdgeTime, TracesWithoutAChoice) {
    const std::vector<double> times{0, 1, 2, 3};
    EXPECT_EQ(measure::NearestEdgeTime(times, std::vector<double>{1, 1, 1, 1}, 1.5), std::nullopt);
    EXPECT_EQ(measure::NearestEdgeTime({}, {}, 0), std::nullopt);
    EXPECT_EQ(measure::NearestEdgeTime(std::vector<double>{7}, std::vector<double>{1}, 7),
              std::nullopt);
    // The only edge, from either side and from far away; its time is the new level's first.
    const std::vector<double> one{0, 0, 1, 1};
    for (double t : {-100.0, 0.0, 1.9, 2.0, 2.5, 100.0})
        EXPECT_EQ(measure::NearestEdgeTime(times, one, t), 2.0) << t;
    // Halfway between the edges at 1 and 3 the earlier one is taken.
    EXPECT_EQ(measure::NearestEdgeTime(times, std::vector<double>{0, 1, 1, 0}, 2.0), 1.0);
}
