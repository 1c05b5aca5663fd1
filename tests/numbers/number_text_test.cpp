#include "numbers/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

namespace {

using numbers::TExponentSpelling;

struct TSpellingCase {
    long double value;
    TExponentSpelling spelling;
    const char* text;
};

void PrintTo(const TSpellingCase& c, std::ostream* out) {
    *out << c.text;
}

class GeneralSpelling : public testing::TestWithParam<TSpellingCase> {};

// The values without digits and the exponents beyond a double's range, in the data file's
// spelling and in the settings file's.
TEST_P(GeneralSpelling, OfTheValuesWithoutDigits) {
    const TSpellingCase& c = GetParam();
    const int lowest = c.spelling == TExponentSpelling::Printf ? -5 : -4;
    EXPECT_EQ(numbers::GeneralText(c.value, {18, ".", lowest, c.spelling}), c.text);
}

constexpr long double Infinity = std::numeric_limits<long double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Cases, GeneralSpelling,
    testing::Values(TSpellingCase{-0.0L, TExponentSpelling::Printf, "-0"},
                    TSpellingCase{-0.0L, TExponentSpelling::Short, "0"},
                    TSpellingCase{-Infinity, TExponentSpelling::Printf, "-inf"},
                    TSpellingCase{-Infinity, TExponentSpelling::Short, "-INF"},
                    TSpellingCase{std::copysign(NAN, -1.0L), TExponentSpelling::Printf, "-nan"},
                    TSpellingCase{std::copysign(NAN, -1.0L), TExponentSpelling::Short, "NAN"},
                    TSpellingCase{-2.5e-4000L, TExponentSpelling::Printf, "-2.5e-4000"},
                    TSpellingCase{-2.5e-4000L, TExponentSpelling::Short, "-2.5E-4000"}));

} // namespace
