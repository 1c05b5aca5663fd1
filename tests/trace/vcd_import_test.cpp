#include "trace/vcd_import.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

const std::string TwoSignals = "$timescale 1 ns $end\n$scope module top $end\n"
                               "$var wire 1 ! a $end\n$var wire 1 \" b $end\n"
                               "$upscope $end\n$enddefinitions $end\n"
                               "#0\n0!\n1\"\n#4\n1!\n0\"\n#6\nx\"\n#8\n";

struct TCase {
    const char* Name;
    std::string Text;
    // What the operator picks where asked; the case fails where the asking differs.
    bool Asked;
    std::optional<std::size_t> Pick;
    std::vector<double> Times, Levels;
    std::size_t Unknown;
    // The error's text, or empty for none.
    std::string Error;
};

// Named by its case in a failure.
void PrintTo(const TCase& c, std::ostream* os) {
    *os << c.Name;
}

class VcdImportTest : public testing::TestWithParam<TCase> {};

TEST_P(VcdImportTest, TakesTheChosenSignal) {
    const TCase& c = GetParam();
    bool asked = false;
    const trace::TVcdImport import =
        trace::ImportVcd(c.Text, "f.vcd", [&](const std::vector<trace::TVcdVariable>& variables) {
            asked = true;
            EXPECT_EQ(variables.size(), 2u);
            EXPECT_EQ(variables.back().Name, "top.b");
            return c.Pick;
        });
    EXPECT_EQ(asked, c.Asked);
    EXPECT_EQ(import.Error.value_or(""), c.Error);
    EXPECT_EQ(import.Chosen, !c.Asked || c.Pick.has_value());
    EXPECT_EQ(import.Points.Times, c.Times);
    EXPECT_EQ(import.Points.Levels, c.Levels);
    EXPECT_FALSE(import.Points.LimitExceeded);
    EXPECT_EQ(import.Unknown, c.Unknown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VcdImportTest,
    testing::Values(
        // x reads as 0, which is no change after 0: the step is that of the changes, 4 ns.
        TCase{"SecondOfTwo", TwoSignals, true, 1, {0, 4e-6}, {1, 0}, 1, ""},
        TCase{"FirstOfTwo", TwoSignals, true, 0, {0, 4e-6}, {0, 1}, 0, ""},
        TCase{"Declined", TwoSignals, true, std::nullopt, {}, {}, 0, ""},
        // One signal is taken without asking.
        TCase{"OnlyOne",
              "$timescale 1 us $end\n$var wire 1 ! a $end\n$enddefinitions $end\n"
              "#0\n1!\n#2\nz!\n#3\n",
              false,
              std::nullopt,
              {0, 1e-3, 2e-3},
              {1, 1, 0},
              1,
              ""},
        TCase{"NoOneBitSignal",
              "$timescale 1 ns $end\n$var wire 8 ! bus $end\n$enddefinitions $end\n#0\n",
              false,
              std::nullopt,
              {},
              {},
              0,
              "f.vcd: no 1-bit variable"},
        TCase{"TimeGoingBack",
              "$timescale 1 ns $end\n$var wire 1 ! a $end\n$enddefinitions $end\n#5\n1!\n#3\n",
              false,
              std::nullopt,
              {},
              {},
              0,
              "f.vcd, line 6: a time going backwards: #3"}),
    [](const testing::TestParamInfo<TCase>& param) { return param.param.Name; });

TEST(VcdImport, HeaderErrorNamesItsLine) {
    const trace::TVcdImport import =
        trace::ImportVcd("$timescale 1 ns $end\n$bogus x $end\n$enddefinitions $end\n", "f.vcd",
                         [](const auto&) { return 0u; });
    EXPECT_EQ(import.Error, "f.vcd, line 2: an unknown section $bogus");
}

TEST(VcdImport, PointsBeyondTheLimitAreLeftOut) {
    const std::string text = "$timescale 1 ns $end\n$var wire 1 ! a $end\n$enddefinitions $end\n"
                             "#0\n1!\n#1\n0!\n#2\n1!\n#3\n0!\n#4\n";
    const auto choose = [](const auto&) { return 0u; };
    EXPECT_FALSE(trace::ImportVcd(text, "f.vcd", choose, 4).Points.LimitExceeded);
    const trace::TVcdImport cut = trace::ImportVcd(text, "f.vcd", choose, 3);
    EXPECT_TRUE(cut.Points.LimitExceeded);
    EXPECT_EQ(cut.Points.Levels, (std::vector<double>{1, 0, 1}));
}

TEST(VcdImport, TheOperatorIsToldOfUnknownValuesOnly) {
    EXPECT_EQ(trace::UnknownValuesNote(0), std::nullopt);
    EXPECT_EQ(trace::UnknownValuesNote(1), "Значения x и z прочитаны как 0: 1");
    EXPECT_EQ(trace::UnknownValuesNote(123456), "Значения x и z прочитаны как 0: 123456");
}

} // namespace
