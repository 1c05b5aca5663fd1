// Annotations as CSV: the fields a spreadsheet reads back, the times in ms with "." under any
// locale and fine enough for the shortest sample period.
#include <cstdlib>
#include <string>

#include <QLocale>
#include <gtest/gtest.h>

#include "decode/annotation_csv.h"
#include "support/real_locale.h"

namespace decode {
namespace {

struct CsvCase {
    const char* name;
    TAnnotation annotation;
    double offsetMs;
    double msPerSample;
    const char* line;
};

class CsvLine : public testing::TestWithParam<CsvCase> {};

TEST_P(CsvLine, HoldsTheAnnotation) {
    const CsvCase& c = GetParam();
    EXPECT_EQ(AnnotationCsvLine(c.annotation, c.offsetMs, c.msPerSample), c.line);
}

// About half a microsecond in ms, finer than the device's shortest period (9.77 µs): the times
// must keep samples this close apart.
constexpr double ShortestMs = 1 / 1843.2;

INSTANTIATE_TEST_SUITE_P(
    Annotations, CsvLine,
    testing::Values(
        CsvCase{"Plain", {107, 118, "uart", "rx-data", "rx-start", {"Start bit", "Start", "S"}},
                0, 0.009765625, "1.044921875,1.15234375,uart,rx-data,Start bit\n"},
        CsvCase{"ClassWithoutRow", {0, 4, "pwm", "", "duty-cycle", {"50%"}}, 0, 0.5,
                "0,2,pwm,duty-cycle,50%\n"},
        CsvCase{"Offset", {3, 5, "uart", "rx-data", "rx-data", {"H"}}, 1000.5, 0.25,
                "1001.25,1001.75,uart,rx-data,H\n"},
        CsvCase{"Comma", {0, 1, "uart", "rx-data", "rx-data", {","}}, 0, 1,
                "0,1,uart,rx-data,\",\"\n"},
        CsvCase{"Quote", {0, 1, "uart", "rx-data", "rx-data", {"say \"hi\""}}, 0, 1,
                "0,1,uart,rx-data,\"say \"\"hi\"\"\"\n"},
        CsvCase{"LineFeed", {0, 1, "uart", "rx-data", "rx-data", {"a\nb"}}, 0, 1,
                "0,1,uart,rx-data,\"a\nb\"\n"},
        CsvCase{"CarriageReturn", {0, 1, "uart", "rx-data", "rx-data", {"\r"}}, 0, 1,
                "0,1,uart,rx-data,\"\r\"\n"},
        CsvCase{"NoText", {0, 1, "timing", "time", "time", {}}, 0, 1, "0,1,timing,time,\n"},
        CsvCase{"ShortestPeriod", {1, 2, "uart", "rx-data", "rx-data", {"x"}}, 0, ShortestMs,
                "0.000542534722222222,0.00108506944444444,uart,rx-data,x\n"}),
    [](const auto& csv) { return std::string(csv.param.name); });

TEST(AnnotationCsv, HeaderNamesTheFields) {
    EXPECT_EQ(AnnotationCsvHeader(), "start_ms,end_ms,decoder,row,text\n");
}

// The start of a line's annotation, read back as a script would.
double StartMs(const std::string& line) {
    return std::strtod(line.substr(0, line.find(',')).c_str(), nullptr);
}

TEST(AnnotationCsv, KeepsNeighbouringSamplesApartAfterTenHoursAtTheShortestPeriod) {
    const auto last = static_cast<std::uint64_t>(10 * 3600e3 / ShortestMs);
    for (const std::uint64_t sample : {last, last + 1}) {
        const std::string line =
            AnnotationCsvLine({sample, sample + 1, "uart", "rx-data", "rx-data", {"x"}}, 0,
                              ShortestMs);
        EXPECT_NEAR(StartMs(line), static_cast<double>(sample) * ShortestMs, ShortestMs / 100)
            << line;
    }
}

TEST(AnnotationCsv, WritesAPointUnderALocaleWithACommaForDecimals) {
    test_support::TRealLocale russian(QLocale(QLocale::Russian, QLocale::Russia));
    EXPECT_EQ(AnnotationCsvLine({1, 3, "uart", "rx-data", "rx-data", {"1,5"}}, 0.5, 0.25),
              "0.75,1.25,uart,rx-data,\"1,5\"\n");
}

} // namespace
} // namespace decode
