#include "numbers/number_format.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct TReadoutCase {
    double value;
    const char* text;
};

void PrintTo(const TReadoutCase& c, std::ostream* out) {
    *out << c.text;
}

class ReadoutNumber : public testing::TestWithParam<TReadoutCase> {};

// "%.6g" of the readout: six significant digits, written out from 0.00001 up to six integer
// digits, with the separator given.
TEST_P(ReadoutNumber, SixDigitsWithTheSeparatorGiven) {
    const TReadoutCase& c = GetParam();
    EXPECT_EQ(numbers::FormatGeneral(c.value, 6, QStringLiteral("\u066B")).toStdString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(Examples, ReadoutNumber,
                         testing::Values(TReadoutCase{0, "0"}, TReadoutCase{-2.25, "-2\u066B25"},
                                         TReadoutCase{1000.0 / 2.25, "444\u066B444"},
                                         TReadoutCase{123456, "123456"},
                                         TReadoutCase{1234567, "1\u066B23457e+06"},
                                         TReadoutCase{0.00005, "0\u066B00005"},
                                         TReadoutCase{0.0000123456789, "0\u066B0000123457"},
                                         TReadoutCase{0.00000999999999, "0\u066B00001"},
                                         TReadoutCase{0.000009, "9e-06"}));

} // namespace
