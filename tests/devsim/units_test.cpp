// The simulator's pure pieces: command parsing, sources, pacing, options.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "devsim/command_parser.h"
#include "devsim/level_file.h"
#include "devsim/line_codes.h"
#include "devsim/options.h"
#include "devsim/pacer.h"
#include "devsim/simulator.h"
#include "devsim/sources.h"

namespace devsim {
namespace {

struct CommandCase {
    const char* line;
    std::optional<unsigned> divider;
    bool test = false;
};

class CommandLineParse : public testing::TestWithParam<CommandCase> {};

TEST_P(CommandLineParse, AcceptsOnlyUpperCaseHexDividersInRange) {
    const auto command = ParseCommand(GetParam().line);
    ASSERT_EQ(command.has_value(), GetParam().divider.has_value());
    if (command) {
        EXPECT_EQ(command->divider, *GetParam().divider);
        EXPECT_EQ(command->test, GetParam().test);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLineParse,
    testing::Values(CommandCase{"RP 10", 16}, CommandCase{"RP 1A", 26}, CommandCase{"RP 731", 1841},
                    CommandCase{"RP FFFF", 65535}, CommandCase{"RT 10", 16, true},
                    CommandCase{"RP 0010", 16}, CommandCase{"rp 10", {}}, CommandCase{"RP 1a", {}},
                    CommandCase{"RP 0F", {}}, CommandCase{"RP 10000", {}}, CommandCase{"RP 1", {}},
                    CommandCase{"RP ", {}}, CommandCase{"RP  10", {}}, CommandCase{"RP 10 ", {}},
                    CommandCase{"RX 10", {}}, CommandCase{"RP 0000000000010", 16}));

std::vector<Reply::Kind> Kinds(const std::vector<Reply>& replies) {
    std::vector<Reply::Kind> kinds;
    for (const auto& r : replies)
        kinds.push_back(r.kind);
    return kinds;
}

using K = Reply::Kind;

TEST(CommandParser, PromptEchoStreamAndStopInOneDialogue) {
    const Faults faults;
    CommandParser parser(faults);
    auto replies = parser.Receive("\r");
    ASSERT_EQ(Kinds(replies), std::vector<K>{K::Prompt});
    EXPECT_EQ(replies[0].bytes, "\r\n>");
    // A command split over several reads, bytes after it ignored while streaming.
    EXPECT_TRUE(parser.Receive("RP ").empty());
    replies = parser.Receive("1A\rRP 10");
    ASSERT_EQ(Kinds(replies), std::vector<K>{K::Start});
    EXPECT_EQ(replies[0].bytes, "RP 1A\r");
    EXPECT_EQ(replies[0].command.divider, 26u);
    EXPECT_TRUE(parser.Streaming());
    replies = parser.Receive("\r\r");
    EXPECT_EQ(Kinds(replies), (std::vector<K>{K::Stop, K::Prompt}));
    EXPECT_FALSE(parser.Streaming());
}

TEST(CommandParser, LineFeedBetweenCommandsIsIgnored) {
    const Faults faults;
    CommandParser parser(faults);
    EXPECT_EQ(Kinds(parser.Receive("\r\nRP 10\r")), (std::vector<K>{K::Prompt, K::Start}));
}

TEST(CommandParser, OverlongLineIsNoCommandEvenIfItsStartIsOne) {
    const Faults faults;
    CommandParser parser(faults);
    const auto replies = parser.Receive("RP 10" + std::string(40, '0') + "\r");
    EXPECT_EQ(Kinds(replies), std::vector<K>{K::Unknown});
    EXPECT_EQ(Kinds(parser.Receive("RP 10\r")), std::vector<K>{K::Start});
}

TEST(CommandParser, FaultsShapeTheAnswers) {
    Faults faults;
    faults.noPrompt = true;
    faults.noise = "x>";
    CommandParser parser(faults);
    auto replies = parser.Receive("\r");
    ASSERT_EQ(Kinds(replies), std::vector<K>{K::PromptWithheld});
    EXPECT_EQ(replies[0].bytes, "x>");

    faults = {};
    faults.lowerEcho = true;
    replies = parser.Receive("RT FF\r");
    ASSERT_EQ(Kinds(replies), std::vector<K>{K::Start});
    EXPECT_EQ(replies[0].bytes, "rt ff\r");
    EXPECT_EQ(replies[0].line, "RT FF\r");
    parser.Receive("\r");

    faults = {};
    faults.noEcho = true;
    replies = parser.Receive("RP 10\r");
    ASSERT_EQ(Kinds(replies), std::vector<K>{K::EchoWithheld});
    EXPECT_EQ(replies[0].bytes, "");
    EXPECT_FALSE(parser.Streaming());
}

std::vector<std::uint8_t> Bytes(SampleSource& source, std::size_t count) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < count; ++i)
        bytes.push_back(source.NextByte());
    return bytes;
}

TEST(Sources, XorshiftGivesDocumentedWords) {
    Xorshift32 generator(1);
    EXPECT_EQ(generator.Next(), 0x00042021u);
    EXPECT_EQ(generator.Next(), 0x04080601u);
    EXPECT_EQ(generator.Next(), 0x9DCCA8C5u);
}

TEST(Sources, PrbsSendsWordsMostSignificantByteFirst) {
    PrbsSource source(1);
    EXPECT_EQ(Bytes(source, 8),
              (std::vector<std::uint8_t>{0x00, 0x04, 0x20, 0x21, 0x04, 0x08, 0x06, 0x01}));
}

struct WaveCase {
    const char* arg;
    unsigned divider;
    std::vector<std::uint8_t> bytes;
};

class Wave : public testing::TestWithParam<WaveCase> {};

TEST_P(Wave, StartsHighAndKeepsItsPeriodOnTheSampleGrid) {
    const SignalFactory factory(ParseSource(GetParam().arg));
    const auto source = factory.Start(Command{false, GetParam().divider});
    const auto& expected = GetParam().bytes;
    // The pattern must still hold a million samples later: the phase does not drift.
    const auto first = Bytes(*source, expected.size());
    EXPECT_EQ(first, expected);
    for (int i = 0; i < 125000 / static_cast<int>(expected.size()); ++i)
        Bytes(*source, expected.size());
    EXPECT_EQ(Bytes(*source, expected.size()), expected);
}

// Divider 16 samples every 9.765625 us, so 1600 Hz and 625 us are 64 samples a period.
INSTANTIATE_TEST_SUITE_P(
    Sources, Wave,
    testing::Values(WaveCase{"square:1600:0.25", 16, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0}},
                    WaveCase{"square:1600", 16, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}},
                    WaveCase{"pulses:156.25:625", 16, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0}},
                    WaveCase{"pulses:9.765625:78.125", 16, {0x80}}));

// What a source is parsed into, the fields its kind uses.
SourceChoice Glitch(double periodMs, double widthUs, double frequencyHz) {
    SourceChoice choice;
    choice.kind = SourceChoice::Kind::Glitch;
    choice.periodMs = periodMs;
    choice.widthUs = widthUs;
    choice.frequencyHz = frequencyHz;
    return choice;
}

SourceChoice Uart(std::uint32_t baud, std::string text, Parity parity) {
    SourceChoice choice;
    choice.kind = SourceChoice::Kind::Uart;
    choice.baud = baud;
    choice.uartText = std::move(text);
    choice.parity = parity;
    return choice;
}

struct SourceCase {
    const char* arg;
    SourceChoice choice;
};

class SourceText : public testing::TestWithParam<SourceCase> {};

TEST_P(SourceText, IsParsedAsWritten) {
    const SourceChoice source = ParseSource(GetParam().arg);
    const SourceChoice& expected = GetParam().choice;
    EXPECT_EQ(source.kind, expected.kind);
    EXPECT_EQ(source.periodMs, expected.periodMs);
    EXPECT_EQ(source.widthUs, expected.widthUs);
    EXPECT_EQ(source.frequencyHz, expected.frequencyHz);
    EXPECT_EQ(source.baud, expected.baud);
    EXPECT_EQ(source.uartText, expected.uartText);
    EXPECT_EQ(source.parity, expected.parity);
    EXPECT_EQ(source.rom, expected.rom);
}

// The glitch's square wave is at 1000 Hz by default.
INSTANTIATE_TEST_SUITE_P(Glitches, SourceText,
                         testing::Values(SourceCase{"glitch:1000:30", Glitch(1000, 30, 1000)},
                                         SourceCase{"glitch:3600000:30", Glitch(3600000, 30, 1000)},
                                         SourceCase{"glitch:1:250", Glitch(1, 250, 1000)},
                                         SourceCase{"glitch:0.5:9.765625:4000",
                                                  Glitch(0.5, 9.765625, 4000)},
                                         SourceCase{"glitch:86400000:1e3:0.5",
                                                  Glitch(86400000, 1000, 0.5)}));

// The text runs to the end and may hold ':', unless a parity's name ends it.
INSTANTIATE_TEST_SUITE_P(
    Uarts, SourceText,
    testing::Values(SourceCase{"uart:9600:Hello", Uart(9600, "Hello", Parity::None)},
                    SourceCase{"uart:300:a:b", Uart(300, "a:b", Parity::None)},
                    SourceCase{"uart:25600:a:b:odd", Uart(25600, "a:b", Parity::Odd)},
                    SourceCase{"uart:1:even", Uart(1, "even", Parity::None)},
                    SourceCase{"uart:9600:x::even", Uart(9600, "x:", Parity::Even)},
                    SourceCase{"uart:9600:even:none", Uart(9600, "even", Parity::None)},
                    SourceCase{"uart:9600:ok\\r\\n\\x00",
                             Uart(9600, std::string("ok\r\n\0", 5), Parity::None)}));

SourceChoice OneWire(std::uint64_t rom) {
    SourceChoice choice;
    choice.kind = SourceChoice::Kind::OneWire;
    choice.rom = rom;
    return choice;
}

INSTANTIATE_TEST_SUITE_P(
    OneWires, SourceText,
    testing::Values(SourceCase{"onewire:00000001B81C02", OneWire(0x00000001B81C02)},
                    SourceCase{"onewire:ffffffffffffff", OneWire(0xFFFFFFFFFFFFFF)}));

struct BadSourceCase {
    const char* arg;
    const char* message; // a part of what the user is told
};

class BadSource : public testing::TestWithParam<BadSourceCase> {};

TEST_P(BadSource, IsRefusedSayingWhy) {
    try {
        ParseSource(GetParam().arg);
        ADD_FAILURE() << "accepted " << GetParam().arg;
    } catch (const UsageError& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Glitches, BadSource,
    testing::Values(
        BadSourceCase{"glitch:1000", "glitch:PERIOD_MS:WIDTH_US[:FREQ_HZ]"},
        BadSourceCase{"glitch:1000:30:1000:1", "glitch:PERIOD_MS:WIDTH_US[:FREQ_HZ]"},
        BadSourceCase{"glitch:0:30", "glitch period must be greater than 0"},
        BadSourceCase{"glitch:-1000:30", "glitch period must be greater than 0"},
        BadSourceCase{"glitch:1000:-30", "glitch width must be greater than 0"},
        BadSourceCase{"glitch:1000:30:0", "glitch square frequency must be greater than 0"},
        BadSourceCase{"glitch:1000:nan", "glitch width is not a valid number"},
        BadSourceCase{"glitch:1e999:30", "glitch period is not a valid number"},
        BadSourceCase{"glitch:1000:9.7", "shorter than one sample (9.765625 us"},
        BadSourceCase{"glitch:86400001:30", "at most a day (86400000 ms)"},
        BadSourceCase{"glitch:1000:30:4001", "at most 4000 Hz"},
        BadSourceCase{"glitch:1000.5:30", "whole number of the square wave's periods (1 ms)"},
        BadSourceCase{"glitch:0.5:30", "whole number of the square wave's periods (1 ms)"},
        BadSourceCase{"glitch:1000:251", "at most a quarter of the square wave's period (250 us)"},
        BadSourceCase{"glitch:1000:130:2000", "quarter of the square wave's period (125 us)"},
        BadSourceCase{"sine:5", "square, pulses, glitch, prbs, file, uart, nec or onewire"}));

INSTANTIATE_TEST_SUITE_P(
    LineCodes, BadSource,
    testing::Values(BadSourceCase{"uart:9600", "uart:BAUD:TEXT[:PARITY]"},
                    BadSourceCase{"uart:0:x", "between 1 and 25600"},
                    BadSourceCase{"uart:25601:x", "between 1 and 25600"},
                    BadSourceCase{"uart:96OO:x", "uart baud rate is not a valid number"},
                    BadSourceCase{"uart:9600:", "uart needs a text"},
                    BadSourceCase{"uart:9600::even", "uart needs a text"},
                    BadSourceCase{"uart:9600:\\q", "unknown escape \\q"},
                    BadSourceCase{"nec:1", "nec:ADDRESS:COMMAND"},
                    BadSourceCase{"nec:256:1", "nec address must be a whole number from 0 to 255"},
                    BadSourceCase{"nec:1:-1", "nec command must be a whole number from 0 to 255"},
                    BadSourceCase{"onewire", "onewire:ROM"},
                    BadSourceCase{"onewire:00000001B81C02:1", "onewire:ROM"},
                    BadSourceCase{"onewire:01B81C02", "14 hex digits"},
                    BadSourceCase{"onewire:A200000001B81C02", "14 hex digits"},
                    BadSourceCase{"onewire:00000001B81G02", "14 hex digits"},
                    BadSourceCase{"onewire:", "14 hex digits"}));

// A run of samples at one level.
struct LevelRun {
    std::uint64_t start;
    std::uint64_t length;
    bool high;
};

std::vector<LevelRun> Runs(const std::vector<std::uint8_t>& bytes) {
    std::vector<LevelRun> runs;
    for (std::size_t i = 0; i < bytes.size() * 8; ++i) {
        const bool high = (bytes[i / 8] >> (7 - i % 8)) & 1;
        if (runs.empty() || runs.back().high != high)
            runs.push_back({i, 0, high});
        ++runs.back().length;
    }
    runs.pop_back(); // cut off by the end of the bytes
    return runs;
}

struct GlitchWaveCase {
    const char* arg;
    unsigned divider;
    std::uint64_t widthSamples; // worked out by hand from the sample period
    double samplesPerSquare;    // 11059200 / ((6n + 12) FREQ_HZ)
    std::uint64_t squaresPerGlitch;
};

class GlitchWave : public testing::TestWithParam<GlitchWaveCase> {};

// What a search for a short high pulse finds: one pulse of the given width a period, near the
// middle of a low half, the square wave around it whole.
TEST_P(GlitchWave, HasOneNarrowPulseEveryPeriodInTheMiddleOfALowHalf) {
    const auto& c = GetParam();
    const SignalFactory factory(ParseSource(c.arg));
    const auto source = factory.Start(Command{false, c.divider});
    constexpr int kPeriods = 6;
    const double samplesPerGlitch = c.samplesPerSquare * static_cast<double>(c.squaresPerGlitch);
    const auto bytes = Bytes(*source, static_cast<std::size_t>(samplesPerGlitch * kPeriods / 8));
    std::vector<LevelRun> glitches;
    for (const LevelRun& run : Runs(bytes)) {
        if (run.high && static_cast<double>(run.length) < c.samplesPerSquare / 4)
            glitches.push_back(run);
        else // a half of the square wave, high or low, or a low half cut in two by a glitch
            EXPECT_LE(static_cast<double>(run.length), c.samplesPerSquare / 2 + 1)
                << "run at " << run.start;
    }
    ASSERT_EQ(glitches.size(), static_cast<std::size_t>(kPeriods));
    for (std::size_t k = 0; k < glitches.size(); ++k) {
        EXPECT_EQ(glitches[k].length, c.widthSamples) << "glitch " << k;
        const double middle =
            static_cast<double>(glitches[k].start) + static_cast<double>(glitches[k].length) / 2;
        const double lowHalfMiddle =
            (static_cast<double>(k * c.squaresPerGlitch) + 0.75) * c.samplesPerSquare;
        EXPECT_NEAR(middle, lowHalfMiddle, 1.0) << "glitch " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, GlitchWave,
    testing::Values(
        // 30 us is 3.07 samples of 9.765625 us; the square has 102.4 samples a period, so the
        // pulses fall at every position within a byte.
        GlitchWaveCase{"glitch:20:30", 16, 3, 102.4, 20},
        GlitchWaveCase{"glitch:1000:30", 16, 3, 102.4, 1000},
        // 100 us is 10.24 samples: more than a byte.
        GlitchWaveCase{"glitch:3:100", 16, 10, 102.4, 3},
        GlitchWaveCase{"glitch:0.25:9.765625:4000", 16, 1, 25.6, 1},
        // Divider 26 samples every 15.19 us: 30 us is 1.975 samples, 500 Hz 131.66 samples.
        GlitchWaveCase{"glitch:10:30:500", 26, 2, 11059200.0 / 168 / 500, 5},
        // Divider 1841 samples every 1 ms: 10 us is a hundredth of a sample, shown as one.
        GlitchWaveCase{"glitch:1000:10:10", 1841, 1, 11059200.0 / 11058 / 10, 10}));

std::uint64_t SamplesPerSecondNum(unsigned divider) {
    return 6ULL * divider + 12;
}

// The first sample at or after the moment `units` units of `perSecond` Hz have passed: where a
// level change of the line falls on the sample grid.
std::uint64_t FirstSampleAfter(std::uint64_t units, std::uint64_t perSecondNum,
                               std::uint64_t perSecondDen, unsigned divider) {
    const std::uint64_t num = units * 11059200 * perSecondDen;
    const std::uint64_t den = perSecondNum * SamplesPerSecondNum(divider);
    return (num + den - 1) / den;
}

struct UartEdgesCase {
    unsigned divider;
    std::uint32_t baud;
};

class UartEdges : public testing::TestWithParam<UartEdgesCase> {};

// "U" is 0x55: start bit and data bits alternate 0 1 0 1 ... and the stop bit is 1, so every bit
// of a frame begins with an edge. The frame is bits 10..19 of a 20-bit repetition.
TEST_P(UartEdges, FallOnTheFirstSampleOfEachBitThousandsOfBitsOn) {
    const auto& c = GetParam();
    const SignalFactory factory(ParseSource("uart:" + std::to_string(c.baud) + ":U"));
    const auto source = factory.Start(Command{false, c.divider});
    // Far enough that a bit's length rounded to whole samples would have drifted by many.
    const std::uint64_t bits = 40000;
    const auto bytes = Bytes(*source, FirstSampleAfter(bits + 20, c.baud, 1, c.divider) / 8);
    std::vector<std::uint64_t> expected;
    for (std::uint64_t b = 0; b < bits; ++b)
        if (b % 20 >= 10)
            expected.push_back(FirstSampleAfter(b, c.baud, 1, c.divider));
    std::vector<std::uint64_t> edges;
    for (const LevelRun& run : Runs(bytes))
        if (run.start > 0 && edges.size() < expected.size())
            edges.push_back(run.start);
    EXPECT_EQ(edges, expected);
}

// 9600 baud is 10.67 samples a bit at divider 16 and 6.86 at divider 26, 25600 baud exactly 4 at
// divider 16, and 300 baud 3.33 at divider 1841.
INSTANTIATE_TEST_SUITE_P(Rates, UartEdges,
                         testing::Values(UartEdgesCase{16, 9600}, UartEdgesCase{26, 9600},
                                         UartEdgesCase{16, 25600}, UartEdgesCase{1841, 300}));

// The level in the middle of each bit of the first repetition.
std::vector<bool> BitCentres(const std::string& arg, unsigned divider, std::uint32_t baud,
                             std::size_t bits) {
    const SignalFactory factory(ParseSource(arg));
    const auto source = factory.Start(Command{false, divider});
    const auto bytes = Bytes(*source, FirstSampleAfter(bits, baud, 1, divider) / 8 + 1);
    std::vector<bool> levels;
    for (std::uint64_t b = 0; b < bits; ++b) {
        const std::uint64_t k = FirstSampleAfter(2 * b + 1, 2ULL * baud, 1, divider);
        levels.push_back((bytes[k / 8] >> (7 - k % 8)) & 1);
    }
    return levels;
}

TEST(UartFrames, CarryTheParityAskedFor) {
    // 'A' is 0x41, two bits set: even parity adds a 0, odd a 1. An idle frame's time first.
    const std::vector<bool> idle10(10, true), idle11(11, true);
    std::vector<bool> data{false, true, false, false, false, false, false, true, false};
    auto with = [&](const std::vector<bool>& idle, std::vector<bool> tail) {
        std::vector<bool> bits = idle;
        bits.insert(bits.end(), data.begin(), data.end());
        bits.insert(bits.end(), tail.begin(), tail.end());
        return bits;
    };
    EXPECT_EQ(BitCentres("uart:9600:A", 16, 9600, 20), with(idle10, {true}));
    EXPECT_EQ(BitCentres("uart:9600:A:even", 16, 9600, 22), with(idle11, {false, true}));
    EXPECT_EQ(BitCentres("uart:4800:A:odd", 26, 4800, 22), with(idle11, {true, true}));
}

// Reads NEC frames back from the samples as a receiver would, by the length of the spaces.
TEST(NecFrames, CarryAddressCommandAndInversesEvery108Ms) {
    for (const unsigned divider : {16u, 26u}) {
        const SignalFactory factory(ParseSource("nec:89:194"));
        const auto source = factory.Start(Command{false, divider});
        const double unit = 0.0005625 * 11059200.0 / static_cast<double>(6 * divider + 12);
        const auto runs = Runs(Bytes(*source, static_cast<std::size_t>(192 * 3 * unit / 8)));
        std::size_t frames = 0;
        for (std::size_t i = 0; i + 67 < runs.size(); ++i) {
            if (runs[i].high || static_cast<double>(runs[i].length) < 15 * unit)
                continue;
            const auto leader = FirstSampleAfter(71 + 192 * frames, 16000, 9, divider);
            EXPECT_EQ(runs[i].start, leader) << "frame " << frames << " divider " << divider;
            EXPECT_NEAR(static_cast<double>(runs[i + 1].length), 8 * unit, 1.0);
            std::uint32_t word = 0;
            for (int bit = 0; bit < 32; ++bit) {
                EXPECT_NEAR(static_cast<double>(runs[i + 2 + 2 * bit].length), unit, 1.0);
                if (static_cast<double>(runs[i + 3 + 2 * bit].length) > 2 * unit)
                    word |= 1u << bit;
            }
            EXPECT_EQ(word, 89u | (0xA6u << 8) | (194u << 16) | (0x3Du << 24));
            EXPECT_NEAR(static_cast<double>(runs[i + 66].length), unit, 1.0) << "closing burst";
            ++frames;
        }
        EXPECT_EQ(frames, 2u) << "divider " << divider;
    }
}

// The example ROM of the 1-Wire CRC's own description: family 02, serial 00000001B81C, CRC A2.
TEST(OneWireRom, EndsWithTheCrcOfItsFirstSevenBytes) {
    const std::vector<std::uint8_t> rom = OneWireRom(0x00000001B81C02);
    EXPECT_EQ(rom, (std::vector<std::uint8_t>{0x02, 0x1C, 0xB8, 0x01, 0x00, 0x00, 0x00, 0xA2}));
    EXPECT_EQ(OneWireCrc(rom), 0);
}

TEST(Sources, TestModeCountsBytesWhateverTheSource) {
    const SignalFactory factory(ParseSource("prbs:5"));
    const auto source = factory.Start(Command{true, 16});
    const auto bytes = Bytes(*source, 300);
    for (std::size_t k = 0; k < bytes.size(); ++k)
        ASSERT_EQ(bytes[k], k % 256);
}

TEST(LevelFile, ReadsOneLevelPerLine) {
    const auto levels = ParseLevels("0 0\r\n0.0097656 1\r\n\r\n  0.0195312\t1 extra\r\n"
                                    "+3e-2 0\r\n-1 0.7");
    EXPECT_EQ(levels, (std::vector<bool>{false, true, true, false, true}));
}

class BadLevelFile : public testing::TestWithParam<const char*> {};

TEST_P(BadLevelFile, IsRefused) {
    EXPECT_THROW(ParseLevels(GetParam()), std::runtime_error);
}

INSTANTIATE_TEST_SUITE_P(Texts, BadLevelFile,
                         testing::Values("", "\r\n\r\n", "0,0097656 1\r\n", "0 1\r\n1\r\n",
                                         "0 x\r\n", "+-1 0\r\n"));

TEST(LevelFile, FactoryReplaysDataFileAndRefusesBadOne) {
    const std::string path = testing::TempDir() + "devsim-levels.txt";
    std::ofstream(path, std::ios::binary) << "0 1\r\n0.5 0\r\n1 1\r\n1.5 1\r\n";
    const SignalFactory factory(ParseSource("file:" + path));
    const auto source = factory.Start(Command{false, 1841});
    EXPECT_EQ(Bytes(*source, 2), (std::vector<std::uint8_t>{0xBB, 0xBB}));
    std::ofstream(path, std::ios::binary) << "0 1\r\n0.5\r\n";
    EXPECT_THROW(SignalFactory(ParseSource("file:" + path)), UsageError);
    std::remove(path.c_str());
}

TEST(LevelFile, ReplayRepeatsFromTheStart) {
    const std::vector<bool> levels{true, false, true};
    ReplaySource source(levels);
    // 101 101 10|1 101 101 1|01 101 101
    EXPECT_EQ(Bytes(source, 3), (std::vector<std::uint8_t>{0xB6, 0xDB, 0x6D}));
}

constexpr Pacer::Nanos kSecond = 1'000'000'000;

struct DriftCase {
    unsigned divider;
    unsigned baud;
    int seconds;
    Pacer::Nanos step;
};

class PacerDrift : public testing::TestWithParam<DriftCase> {};

TEST_P(PacerDrift, SendsTheRateTimesTheTimeToTheByteAfterLongStreams) {
    const auto& c = GetParam();
    Pacer pacer;
    const long double rate = StreamRate(c.divider, c.baud, RateMode::Line);
    // The loop's clock starts where a machine's monotonic clock may stand after weeks up.
    const Pacer::Nanos origin = 3'000'000 * kSecond;
    pacer.Start(origin, rate);
    std::uint64_t sent = 0;
    Pacer::Nanos last = origin;
    for (Pacer::Nanos now = origin; now <= origin + c.seconds * kSecond; now += c.step) {
        const auto due = pacer.Due(now);
        pacer.Sent(due);
        sent += due;
        last = now;
    }
    EXPECT_NEAR(static_cast<double>(sent),
                static_cast<double>(rate * static_cast<long double>(last - origin) / kSecond), 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, PacerDrift,
    testing::Values(
        DriftCase{1841, 4000000, 600,
                  1'700'000}, // 125.011.. bytes/s, ten minutes
                              // An hour at the shortest period: 46 million bytes, as the device
                              // sends them and as a 115200-baud line caps them.
        DriftCase{16, 4000000, 3600, 2'000'000}, DriftCase{16, 115200, 3600, 2'300'001}));

TEST(Pacer, HeldBackReaderGetsAtMostTheBacklogAtOnce) {
    Pacer pacer;
    pacer.Start(0, 12800);
    EXPECT_EQ(pacer.Due(5 * kSecond), 1280u); // 100 ms worth, not 64000 bytes
    pacer.Sent(1280);
    EXPECT_EQ(pacer.Due(5 * kSecond + kSecond / 100), 128u) << "then the normal pace";
}

TEST(Pacer, RestartKeepsBytesSentAndChangesPace) {
    Pacer pacer;
    pacer.Start(0, 11520);
    pacer.Sent(pacer.Due(kSecond / 2));
    pacer.Restart(kSecond / 2, 12800);
    EXPECT_EQ(pacer.Due(kSecond / 2), 0u);
    EXPECT_EQ(pacer.Due(kSecond / 2 + kSecond / 20), 640u);
}

TEST(Pacer, WaitForNamesTheMomentBytesBecomeDue) {
    Pacer pacer;
    pacer.Start(1000, 125);
    EXPECT_EQ(pacer.WaitFor(1, 1000), 8'000'000);
    EXPECT_EQ(pacer.Due(1000 + 7'999'999), 0u);
    EXPECT_EQ(pacer.Due(1000 + 8'000'000), 1u);
    EXPECT_EQ(pacer.WaitFor(1, 1000 + 8'000'000), 0);
}

TEST(StreamRate, DeviceRateCappedByLine) {
    EXPECT_DOUBLE_EQ(static_cast<double>(StreamRate(16, 4000000, RateMode::Line)), 12800.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(StreamRate(16, 115200, RateMode::Line)), 11520.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(StreamRate(16, 115200, RateMode::Max)), 12800.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(StreamRate(65535, 0, RateMode::Line)),
                     11059200.0 / 393222 / 8);
}

TEST(Options, ParsesEveryKind) {
    const auto options = ParseOptions({"--source=file:/data/a:b.txt", "--fault", "noise:a:b\\r",
                                       "--fault", "stall:250", "--fault", "hangup:0", "--rate",
                                       "max", "--com", "50", "--log", "/tmp/x"});
    EXPECT_EQ(options.source.kind, SourceChoice::Kind::File);
    EXPECT_EQ(options.source.path, "/data/a:b.txt");
    EXPECT_EQ(options.faults.noise, "a:b\r");
    ASSERT_TRUE(options.faults.stall);
    EXPECT_EQ(options.faults.stall->ms, 250);
    EXPECT_EQ(options.faults.stall->afterBytes, 256u);
    EXPECT_EQ(options.faults.hangupAfterBytes, 0u);
    EXPECT_EQ(options.rate, RateMode::Max);
    EXPECT_EQ(options.comNumber, 50);
    EXPECT_EQ(options.logPath, "/tmp/x");
}

class BadOptions : public testing::TestWithParam<std::vector<std::string>> {};

TEST_P(BadOptions, AreUsageErrors) {
    EXPECT_THROW(ParseOptions(GetParam()), UsageError);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, BadOptions,
    testing::Values(std::vector<std::string>{"--source", "square:0"},
                    std::vector<std::string>{"--source", "square:1000:1"},
                    std::vector<std::string>{"--source", "square:1e999"},
                    std::vector<std::string>{"--source", "square:1000:0.5:7"},
                    std::vector<std::string>{"--source", "pulses:100:100"},
                    std::vector<std::string>{"--source", "prbs:4294967296"},
                    std::vector<std::string>{"--source", "prbs:-1"},
                    std::vector<std::string>{"--source", "file:"},
                    std::vector<std::string>{"--fault", "noise:"},
                    std::vector<std::string>{"--fault", "noise:\\x4"},
                    std::vector<std::string>{"--fault", "stall:0"},
                    std::vector<std::string>{"--fault", "hangup"},
                    std::vector<std::string>{"--fault", "no-echo", "--fault", "lower-echo"},
                    std::vector<std::string>{"--fault", "no-prompt:1"},
                    std::vector<std::string>{"--com", "0"}, std::vector<std::string>{"--log"},
                    std::vector<std::string>{"extra"}, std::vector<std::string>{"--seconds", "10"},
                    std::vector<std::string>{"--make-recording", "a.tlr"},
                    std::vector<std::string>{"--make-recording", "a.tlr", "--seconds", "0"},
                    std::vector<std::string>{"--make-recording", "a.tlr", "--seconds", "1",
                                             "--divider", "15"},
                    std::vector<std::string>{"--make-recording", "a.tlr", "--seconds", "2678401"}));

} // namespace
} // namespace devsim
