#include "trace/csv.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Csv, HeaderAndPointDecimals) {
    EXPECT_EQ(
        trace::FormatCsv(std::vector<double>{0, 0.0097656, 2.5}, std::vector<double>{0, 1, 1}),
        "time_ms,level\n0,0\n0.0097656,1\n2.5,1\n");
}

} // namespace
