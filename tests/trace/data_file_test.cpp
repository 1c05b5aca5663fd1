#include "trace/data_file.h"

#include "support/in_child.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace trace;

struct TNumberCase {
    double value;
    const char* text;
};

void PrintTo(const TNumberCase& c, std::ostream* out) {
    *out << c.text;
}

class DataFileNumber : public testing::TestWithParam<TNumberCase> {};

// Fifteen significant digits without trailing zeros, written out from 0.00001 up to 15 integer
// digits, with an exponent only beyond.
TEST_P(DataFileNumber, GeneralFormatWithFifteenDigits) {
    const TNumberCase& c = GetParam();
    EXPECT_EQ(FormatDataFile(std::vector<double>{c.value}, std::vector<double>{1}, '.'),
              std::string(c.text) + " 1\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Examples, DataFileNumber,
    testing::Values(TNumberCase{0, "0"}, TNumberCase{1, "1"}, TNumberCase{-2.5, "-2.5"},
                    TNumberCase{0.0097656, "0.0097656"}, TNumberCase{120.556332, "120.556332"},
                    TNumberCase{0.1 + 0.2, "0.3"}, TNumberCase{0.0001, "0.0001"},
                    TNumberCase{0.00005, "0.00005"}, TNumberCase{-0.00005, "-0.00005"},
                    TNumberCase{0.00001, "0.00001"},
                    TNumberCase{0.0000123456789012345678, "0.0000123456789012346"},
                    // Fifteen digits round it up to 0.00001.
                    TNumberCase{0.000009999999999999999, "0.00001"}, TNumberCase{0.000009, "9e-06"},
                    TNumberCase{0.00000999999999999, "9.99999999999e-06"},
                    TNumberCase{5e-324, "4.94065645841247e-324"},
                    TNumberCase{123456789012345.0, "123456789012345"},
                    TNumberCase{999999999999999.875, "1e+15"},
                    TNumberCase{1234567890123456.0, "1.23456789012346e+15"},
                    TNumberCase{-1e300, "-1e+300"}));

TEST(DataFileFormat, LinesWithTheGivenSeparator) {
    const std::vector<double> times{0, 0.0097656, 0.00005}, levels{0, 1, 1};
    EXPECT_EQ(FormatDataFile(times, levels, ','), "0 0\r\n0,0097656 1\r\n0,00005 1\r\n");
    EXPECT_EQ(FormatDataFile(times, levels, '.'), "0 0\r\n0.0097656 1\r\n0.00005 1\r\n");
}

TEST(DataFileParse, RoundTripUnderEitherSeparator) {
    std::mt19937 rng(7);
    std::vector<double> times, levels;
    for (int i = 0; i < 1000; ++i) {
        times.push_back(i * 0.0097656);
        levels.push_back(rng() & 1);
    }
    for (char separator : {'.', ','}) {
        const TDataFileContents read = ParseDataFile(FormatDataFile(times, levels, separator));
        ASSERT_FALSE(read.BadToken) << separator;
        EXPECT_FALSE(read.LimitExceeded);
        ASSERT_EQ(read.Times.size(), times.size());
        for (std::size_t i = 0; i < times.size(); ++i) {
            // Fifteen digits hold the recorded times exactly enough to print the same again.
            EXPECT_NEAR(read.Times[i], times[i], 1e-12) << i;
            EXPECT_EQ(read.Levels[i], levels[i]) << i;
        }
    }
}

TEST(DataFileParse, TokensLinesAndBlanks) {
    // Signs, exponents, tabs and control characters between tokens; the rest of a line skipped;
    // blank lines in the middle and at the end give no point.
    const TDataFileContents read =
        ParseDataFile("+1.5e1\t-2 trailing words\r\n\r\n  \r\n3E-1\x01 1,25\n.5 1.\r\n\r\n \t\r\n");
    ASSERT_FALSE(read.BadToken);
    EXPECT_EQ(read.Times, (std::vector<double>{15, 0.3, 0.5}));
    EXPECT_EQ(read.Levels, (std::vector<double>{-2, 1.25, 1}));
    // A level missing at the very end reads as 0; a missing one mid-file is the next line's time.
    EXPECT_EQ(ParseDataFile("4 1\r\n7").Levels, (std::vector<double>{1, 0}));
    EXPECT_EQ(ParseDataFile("4\r\n7 1\r\n8 0").Levels, (std::vector<double>{7, 0}));
    EXPECT_TRUE(ParseDataFile("").Times.empty());
    EXPECT_TRUE(ParseDataFile("\r\n \r\n").Times.empty());
}

TEST(DataFileParse, NoNumberStopsTheReadingWithTheLine) {
    const TDataFileContents read = ParseDataFile("0 0\r\n1 1\r\nabc 1\r\n3 0\r\n");
    EXPECT_EQ(read.Times, (std::vector<double>{0, 1}));
    ASSERT_TRUE(read.BadToken);
    EXPECT_EQ(read.BadToken->Line, 3u);
    EXPECT_EQ(read.BadToken->Token, "abc");
    for (const char* token : {"1.2.3", "1,2.3", "inf", "nan", "0x10", "1e", "e5", "-", "+.",
                              "1e999", "--1", "1e+-2", "١"}) {
        const TDataFileContents bad = ParseDataFile(std::string("0 ") + token + "\r\n");
        EXPECT_TRUE(bad.BadToken) << token;
        EXPECT_TRUE(bad.Times.empty()) << token;
    }
}

static std::string Repeat(const std::string& text, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i)
        repeated += text;
    return repeated;
}

struct TTokenCase {
    const char* Name;
    std::string Token;
    std::string Shown;
};

// Named by its case in a failure.
static void PrintTo(const TTokenCase& c, std::ostream* os) {
    *os << c.Name;
}

class DataFileTokenStart : public testing::TestWithParam<TTokenCase> {};

TEST_P(DataFileTokenStart, ShowsWholeLettersOfTheStart) {
    EXPECT_EQ(TokenStart(GetParam().Token), GetParam().Shown);
}

// "ж" is two bytes in UTF-8, "€" three.
INSTANTIATE_TEST_SUITE_P(
    Cases, DataFileTokenStart,
    testing::Values(TTokenCase{"Short", "abc", "abc"},
                    TTokenCase{"FortyBytes", std::string(40, 'x'), std::string(40, 'x')},
                    TTokenCase{"FortyOneBytes", std::string(41, 'x'), std::string(40, 'x') + "…"},
                    TTokenCase{"CutAfterALetter", "2" + std::string(300, 'x'),
                               "2" + std::string(39, 'x') + "…"},
                    // Byte 40 is the second byte of a "ж": the cut comes before the letter.
                    TTokenCase{"CutInATwoByteLetter", "2" + Repeat("ж", 500),
                               "2" + Repeat("ж", 19) + "…"},
                    TTokenCase{"CutBeforeATwoByteLetter", "ab" + Repeat("ж", 500),
                               "ab" + Repeat("ж", 19) + "…"},
                    TTokenCase{"CutInAThreeByteLetter", std::string(39, 'x') + "€€",
                               std::string(39, 'x') + "…"},
                    // No letter starts within the first 40 bytes: nothing but the mark.
                    TTokenCase{"NoWholeLetter", std::string(60, '\x80'), "…"}),
    [](const testing::TestParamInfo<TTokenCase>& param) { return param.param.Name; });

// The file's lines before the stop stay read; the error says where the reading stopped.
TEST(DataFileReadingError, NamesTheLineWhereTheReadingStopped) {
    TDataFileContents read;
    read.LimitExceeded = true;
    EXPECT_FALSE(ReadingError(read, "d.txt"));
    read.LongLine = 7;
    const auto longLine = ReadingError(read, "d.txt");
    ASSERT_TRUE(longLine);
    EXPECT_EQ(longLine->Text, "Line too long");
    EXPECT_EQ(longLine->Detail, "d.txt, line 7: over 1048576 bytes");
    read.LongLine.reset();
    read.BadToken = TBadToken{3, "abc"};
    const auto bad = ReadingError(read, "d.txt");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->Text, "Invalid numeric input");
    EXPECT_EQ(bad->Detail, "d.txt, line 3: \"abc\"");
    // A token of a megabyte: its start only.
    read.BadToken = TBadToken{5, std::string(1 << 20, '7') + "x"};
    EXPECT_EQ(ReadingError(read, "d.txt")->Detail,
              "d.txt, line 5: \"" + std::string(40, '7') + "…\"");
}

TEST(DataFileParse, LimitReportedOnlyWhenAPointFollows) {
    const std::string five = "0 0\r\n1 1\r\n2 0\r\n3 1\r\n4 0\r\n";
    const TDataFileContents exact = ParseDataFile(five + "\r\n  \r\n", 5);
    EXPECT_EQ(exact.Times.size(), 5u);
    EXPECT_FALSE(exact.LimitExceeded);
    const TDataFileContents more = ParseDataFile(five + "5 1\r\n6 1\r\n", 5);
    EXPECT_EQ(more.Times, (std::vector<double>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(more.LimitExceeded);
}

TEST(DataFileSort, SameAsInsertingEachPointAfterItsEquals) {
    std::mt19937 rng(99);
    for (int round = 0; round < 50; ++round) {
        std::vector<double> times, levels;
        for (int i = 0; i < 300; ++i) {
            times.push_back(static_cast<double>(rng() % 40)); // many equal times
            levels.push_back(i);                              // the file position
        }
        // Some traces newest first, equal times among them.
        if (round % 2)
            std::sort(times.begin(), times.end(), std::greater<>());
        // The reference: each point inserted after the points of equal or lower time.
        std::vector<double> refTimes, refLevels;
        for (std::size_t i = 0; i < times.size(); ++i) {
            std::size_t at = refTimes.size();
            while (at > 0 && refTimes[at - 1] > times[i])
                --at;
            refTimes.insert(refTimes.begin() + static_cast<std::ptrdiff_t>(at), times[i]);
            refLevels.insert(refLevels.begin() + static_cast<std::ptrdiff_t>(at), levels[i]);
        }
        SortByTime(times, levels);
        ASSERT_EQ(times, refTimes);
        ASSERT_EQ(levels, refLevels);
    }
}

// The reader's own conversion gives the double the library's correctly rounded one gives, for
// short and long mantissas, any separator and exponents inside and outside the exact range.
TEST(DataFileParse, NumbersAsTheLibraryReadsThem) {
    std::mt19937 rng(2024);
    const auto digits = [&](int count) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += static_cast<char>('0' + rng() % 10);
        return text;
    };
    for (int i = 0; i < 100000; ++i) {
        std::string token = (rng() % 3 == 0 ? "-" : "") + digits(1 + static_cast<int>(rng() % 22));
        if (rng() % 2)
            token += (rng() % 2 ? "." : ",") + digits(static_cast<int>(rng() % 22));
        if (rng() % 3 == 0)
            token += "e" + std::to_string(static_cast<int>(rng() % 80) - 40);
        std::string spelled = token;
        std::replace(spelled.begin(), spelled.end(), ',', '.');
        double expected = 0;
        std::from_chars(spelled.data(), spelled.data() + spelled.size(), expected);
        const TDataFileContents read = ParseDataFile(token + " 1");
        ASSERT_FALSE(read.BadToken) << token;
        ASSERT_EQ(read.Times.front(), expected) << token;
    }
}

// For the times of recordings and doubles of any magnitude and sign: each number is the value
// rounded to 15 significant digits (as the correctly rounded scientific form has them), with an
// exponent exactly when that lies below 0.00001 or has more than 15 integer digits, and no
// trailing zero or bare point.
TEST(DataFileFormat, FifteenDigitsOfAnyValue) {
    std::mt19937_64 rng(11);
    std::vector<double> values{0.0, -0.0, 1e15 - 1, 1e-5, 9.99999999999999e-5, 1e14 + 0.5};
    for (int i = 0; i < 100000; ++i)
        values.push_back(i * 0.0097656);
    for (int i = 0; i < 100000; ++i) {
        double random = 0;
        const std::uint64_t bits = rng();
        std::memcpy(&random, &bits, sizeof random);
        if (std::isfinite(random))
            values.push_back(random);
        values.push_back(
            std::ldexp(static_cast<double>(rng() % 1000000), static_cast<int>(rng() % 80) - 60));
    }
    const std::vector<double> zeros(values.size(), 0.0);
    const std::string written = FormatDataFile(values, zeros, '.');
    std::size_t at = 0;
    for (double value : values) {
        const std::size_t end = written.find(" 0\r\n", at);
        ASSERT_NE(end, std::string::npos);
        const std::string_view text(written.data() + at, end - at);
        at = end + 4;

        char scientific[32];
        const char* last = std::to_chars(scientific, scientific + sizeof scientific, value,
                                         std::chars_format::scientific, 14)
                               .ptr;
        double rounded = 0, read = 0;
        std::from_chars(scientific, last, rounded);
        ASSERT_EQ(std::from_chars(text.data(), text.data() + text.size(), read).ptr,
                  text.data() + text.size())
            << text;
        ASSERT_EQ(read, rounded) << text;
        const bool exponent =
            rounded != 0 && (std::fabs(rounded) < 1e-5 || std::fabs(rounded) >= 1e15);
        ASSERT_EQ(text.find('e') != std::string_view::npos, exponent) << text;
        const std::string_view mantissa = text.substr(0, text.find('e'));
        if (mantissa.find('.') != std::string_view::npos) {
            ASSERT_TRUE(mantissa.back() != '0' && mantissa.back() != '.') << text;
        }
    }
    EXPECT_EQ(at, written.size());
}

namespace {

// What a reading gave, in a line.
std::string Summary(const TDataFileContents& read) {
    std::string text = std::to_string(read.Times.size()) + " points";
    if (!read.Times.empty())
        text += ", the last " + std::to_string(read.Times.back()) + " " +
                std::to_string(read.Levels.back());
    if (read.LimitExceeded)
        text += ", more followed";
    if (read.BadToken)
        text +=
            ", line " + std::to_string(read.BadToken->Line) + " \"" + read.BadToken->Token + "\"";
    if (read.LongLine)
        text += ", line " + std::to_string(*read.LongLine) + " too long";
    return text;
}

// A process that writes `head` and then `repeated` without end into the pipe `fifo`, until the
// reader has gone.
pid_t Feed(const std::string& fifo, const std::string& head, const std::string& repeated) {
    const pid_t writer = ::fork();
    if (writer == 0) {
        ::alarm(300);
        std::signal(SIGPIPE, SIG_IGN);
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        std::string block = repeated;
        while (block.size() < 65536)
            block += repeated;
        bool open = ::write(fd, head.data(), head.size()) >= 0;
        while (open)
            open = ::write(fd, block.data(), block.size()) >= 0 || errno == EINTR;
        ::_exit(0);
    }
    return writer;
}

// Limits the process's address space to a quarter of a gigabyte more than it has, and its time to
// five minutes.
bool LimitMemory() {
    ::alarm(300);
    std::ifstream status("/proc/self/status");
    std::string line;
    rlim_t size = 0;
    while (std::getline(status, line))
        if (line.rfind("VmSize:", 0) == 0)
            size = std::stoull(line.substr(7)) * 1024;
    const rlimit limit{size + (256u << 20), size + (256u << 20)};
    return size != 0 && ::setrlimit(RLIMIT_AS, &limit) == 0;
}

} // namespace

// Read piece by piece, as from a pipe that gives a few bytes at a time, a text gives what it gives
// read whole: points across pieces, a token cut by a piece's end, the limit, the lines counted.
TEST(DataFileRead, PiecesReadAsTheWhole) {
    const std::vector<std::string> texts = {
        "0 0\r\n1 1\r\n2 0\r\n",
        "+1.5e1\t-2 trailing words\r\n\r\n  \r\n3E-1\x01 1,25\n.5 1.\r\n\r\n \t\r\n",
        "4\r\n\r\n7 1\r\n8",
        "0 0\r\n1 1\r\n12345678901234567890.5e-3 1e\r\n3 0\r\n",
        "0 0\r\n1 1\r\n2 0\r\n3 1\r\n4 0\r\n",
        "0 0\r\n1 1\r\n2 0\r\n \r\n\r\n",
        "x"};
    for (const std::string& text : texts) {
        const std::string whole = Summary(ParseDataFile(text, 3));
        for (const std::size_t piece : {1, 2, 3, 7}) {
            std::string_view rest = text;
            const TDataFileContents read = ReadDataFile(
                [&](char* into, std::size_t room) {
                    const std::size_t n = std::min({room, piece, rest.size()});
                    std::memcpy(into, rest.data(), n);
                    rest.remove_prefix(n);
                    return n;
                },
                0, 3);
            EXPECT_EQ(Summary(read), whole) << piece << " bytes a piece of " << text;
        }
    }
}

// Sources without end: devices, and pipes fed without end. The reading stops at the point past
// the limit, at a line that does not end, or at a token that is no number, and holds little of the
// text meanwhile: it runs where a quarter of a gigabyte more than it has cannot be had.
TEST(DataFileRead, EndlessSourcesEndWithinAMemoryLimit) {
    char folder[] = "/tmp/talvir-data-file-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string fifo = std::string(folder) + "/endless.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct TCase {
        const char* Source;
        std::string Head, Repeated;
        const char* Read;
    };
    const TCase cases[] = {
        {"/dev/zero", {}, {}, "0 points, line 1 too long"},
        {"points", "0 0\r\n", "1 1\r\n",
         "500000 points, the last 1.000000 1.000000, more followed"},
        {"a token", "0 1\r\n1 ", "5", "1 points, the last 0.000000 1.000000, line 2 too long"},
        {"a rest of a line", "0 1\r\n1 0 ", "x",
         "1 points, the last 0.000000 1.000000, line 2 too long"},
        {"blanks", "0 1\r\n", " ", "1 points, the last 0.000000 1.000000, line 2 too long"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Source);
        const bool piped = !c.Repeated.empty();
        const pid_t writer = piped ? Feed(fifo, c.Head, c.Repeated) : 0;
        const std::string read = trace_test::InChild([&] {
            return LimitMemory() ? Summary(ReadDataFile(piped ? fifo : c.Source))
                                 : std::string("no memory limit");
        });
        EXPECT_EQ(read, c.Read);
        if (piped)
            ::waitpid(writer, nullptr, 0);
    }
    // Random bytes: the first token that is no number, or a line that does not end.
    const std::string random = trace_test::InChild([] {
        if (!LimitMemory())
            return std::string("no memory limit");
        const TDataFileContents read = ReadDataFile("/dev/urandom");
        return read.BadToken || read.LongLine ? std::string("stopped") : Summary(read);
    });
    EXPECT_EQ(random, "stopped");
    std::filesystem::remove_all(folder);
}
