#include "measure/export_range.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <utility>
#include <vector>

namespace {

std::pair<std::size_t, std::size_t> Range(std::size_t first, std::size_t last) {
    return {first, last};
}

struct TCase {
    const char* Name;
    bool MarkersShown;
    double Marker1, Marker2;
    std::size_t First, Last;
};

// Named by its case in a failure.
void PrintTo(const TCase& c, std::ostream* os) {
    *os << c.Name;
}

// Ten samples 0.5 ms apart.
const std::vector<double> Times{0, 0.5, 1, 1.5, 2, 2.5, 3, 3.5, 4, 4.5};

class ExportRangeTest : public testing::TestWithParam<TCase> {};

TEST_P(ExportRangeTest, TakesTheWholeTraceOrTheMarkersRange) {
    const TCase& c = GetParam();
    EXPECT_EQ(measure::ExportRange(Times, c.MarkersShown, c.Marker1, c.Marker2),
              std::pair(c.First, c.Last));
}

INSTANTIATE_TEST_SUITE_P(Cases, ExportRangeTest,
                         testing::Values(TCase{"MarkersHidden", false, 1, 3, 0, 10},
                                         TCase{"MarkersOnOneTime", true, 2, 2, 0, 10},
                                         // Both ends are taken where a point lies on them.
                                         TCase{"OnPoints", true, 1, 3, 2, 7},
                                         TCase{"EitherOrder", true, 3, 1, 2, 7},
                                         TCase{"BetweenPoints", true, 0.75, 2.25, 2, 5},
                                         TCase{"BeyondBothEnds", true, -5, 50, 0, 10},
                                         TCase{"BeforeTheTrace", true, -2, -1, 0, 0},
                                         TCase{"AfterTheTrace", true, 5, 6, 10, 10},
                                         TCase{"BetweenTwoPoints", true, 1.1, 1.4, 3, 3}),
                         [](const testing::TestParamInfo<TCase>& param) {
                             return param.param.Name;
                         });

TEST(ExportRange, AnEmptyTraceGivesNothing) {
    EXPECT_EQ(measure::ExportRange({}, false, 0, 0), Range(0, 0));
    EXPECT_EQ(measure::ExportRange({}, true, 1, 3), Range(0, 0));
}

// Points of equal times, as a file may hold them: all of them are in the range or none.
TEST(ExportRange, EqualTimesStayTogether) {
    const std::vector<double> times{0, 1, 1, 1, 2};
    EXPECT_EQ(measure::ExportRange(times, true, 1, 2), Range(1, 5));
    EXPECT_EQ(measure::ExportRange(times, true, 0, 1), Range(0, 4));
}

} // namespace
