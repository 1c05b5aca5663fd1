// The decoder host through its client: the library's decoders on our own samples give what
// sigrok-cli gives on our VCD of the same samples, and a decoder that fails, hangs or a host that
// dies ends the call with one clear message.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <unistd.h>
#include <csignal>
#include <vector>

#include <gtest/gtest.h>

#include "decode/client.h"
#include "decode/protocol.h"
#include "devsim/options.h"
#include "devsim/sources.h"
#include "trace/vcd.h"

namespace decode {
namespace {

using namespace std::chrono_literals;

// What both sides are compared on.
using Seen = std::tuple<std::uint64_t, std::uint64_t, std::string, std::string>;

struct Samples {
    std::vector<std::uint8_t> packed;
    std::uint64_t count = 0;
};

Samples FromSimulator(const std::string& source, unsigned divider, double seconds) {
    const devsim::SignalFactory factory(devsim::ParseSource(source));
    const auto stream = factory.Start(devsim::Command{false, divider});
    Samples samples;
    samples.count = static_cast<std::uint64_t>(seconds * static_cast<double>(SampleRateHz(divider))) /
                    8 * 8;
    samples.packed.resize(samples.count / 8);
    for (auto& byte : samples.packed)
        byte = stream->NextByte();
    return samples;
}

double PeriodMs(unsigned divider) {
    return (6.0 * divider + 12) / 11059.2;
}

std::string WriteVcd(const Samples& samples, unsigned divider, const std::string& name) {
    std::vector<double> times(samples.count);
    std::vector<double> levels(samples.count);
    for (std::uint64_t k = 0; k < samples.count; ++k) {
        times[k] = static_cast<double>(k) * PeriodMs(divider);
        levels[k] = (samples.packed[k / 8] >> (7 - k % 8)) & 1;
    }
    const std::string path = testing::TempDir() + name + ".vcd";
    std::ofstream(path, std::ios::binary)
        << trace::FormatVcd(times, levels, {"today", "test", PeriodMs(divider), "", ""});
    return path;
}

std::string Run(const std::string& command) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    std::string output;
    std::array<char, 4096> buffer;
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
        output.append(buffer.data(), got);
    EXPECT_EQ(pclose(pipe), 0) << command << "\n" << output;
    return output;
}

// sigrok-cli's annotations of the classes asked for, one a line: "START-END DECODER-1: TEXT",
// TEXT the first, longest text. Its output does not name the class, so it is asked for one class
// at a time, and once for all of them to count those of classes we did not see.
class SigrokCli {
public:
    SigrokCli(const std::string& vcd, unsigned divider, const std::string& stack,
              const std::string& decoder)
        : command_("sigrok-cli -I vcd:downsample=" +
                   std::to_string(trace::VcdDownsample(PeriodMs(divider))) + " -i '" + vcd +
                   "' -P " + stack + " --protocol-decoder-samplenum -A " + decoder) {}

    std::vector<Seen> OfClass(const std::string& cls) const {
        std::vector<Seen> seen;
        std::istringstream lines(Run(command_ + "=" + cls));
        for (std::string line; std::getline(lines, line);) {
            std::uint64_t start = 0;
            std::uint64_t end = 0;
            // The text may itself be a space, so it is what follows the first ": ".
            const auto text = line.find(": ");
            if (std::sscanf(line.c_str(), "%lu-%lu ", &start, &end) != 2 ||
                text == std::string::npos)
                ADD_FAILURE() << "sigrok-cli said: " << line;
            else
                seen.emplace_back(start, end, cls, line.substr(text + 2));
        }
        return seen;
    }

    std::size_t CountAll() const {
        const std::string output = Run(command_);
        return static_cast<std::size_t>(std::count(output.begin(), output.end(), '\n'));
    }

private:
    std::string command_;
};

THostProcess Host(std::chrono::milliseconds limit = 60s) {
    return THostProcess(TALVIR_DECODE_PROGRAM, limit);
}

struct CompareCase {
    const char* source;
    unsigned divider; // one whose sample period is whole picoseconds, as our VCD's times are
    const char* stack;
    std::vector<TStackedDecoder> decoders; // the annotations of the last are compared
    std::size_t least; // annotations at the least, so that decoding nothing cannot pass
};

class SameAsSigrokCli : public testing::TestWithParam<CompareCase> {};

TEST_P(SameAsSigrokCli, OnTheSameSamples) {
    const auto& c = GetParam();
    const Samples samples = FromSimulator(c.source, c.divider, 0.3);
    const std::string& decoder = c.decoders.back().Id;
    auto host = Host();
    std::vector<Seen> ours;
    std::set<std::string> classes;
    for (const TAnnotation& a :
         host.Decode(c.decoders, SampleRateHz(c.divider), samples.packed, samples.count)) {
        if (a.Decoder != decoder)
            continue;
        ours.emplace_back(a.Start, a.End, a.Class, a.Texts.at(0));
        classes.insert(a.Class);
    }
    const SigrokCli cli(WriteVcd(samples, c.divider, decoder), c.divider, c.stack, decoder);
    std::vector<Seen> theirs;
    for (const std::string& cls : classes) {
        const auto seen = cli.OfClass(cls);
        theirs.insert(theirs.end(), seen.begin(), seen.end());
    }
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    EXPECT_GE(ours.size(), c.least);
    EXPECT_EQ(ours, theirs);
    EXPECT_EQ(cli.CountAll(), ours.size()) << "sigrok-cli has annotations of other classes";
}

INSTANTIATE_TEST_SUITE_P(
    Decoders, SameAsSigrokCli,
    testing::Values(
        CompareCase{"uart:9600:Hello, 1-bit!", 16, "uart:baudrate=9600",
                    {{"uart", {{"baudrate", "9600"}}}}, 3 * 13 * 4},
        CompareCase{"uart:19200:Hello, 1-bit!:even", 34, "uart:baudrate=19200:parity=even",
                    {{"uart", {{"baudrate", "19200"}, {"parity", "even"}}}}, 3 * 13 * 5},
        CompareCase{"uart:9600:Hello, 1-bit!:odd", 16, "uart:baudrate=9600:parity=odd:format=ascii",
                    {{"uart", {{"baudrate", "9600"}, {"parity", "odd"}, {"format", "ascii"}}}},
                    3 * 13 * 5},
        CompareCase{"nec:89:194", 16, "ir_nec", {{"ir_nec", {}}}, 2 * 5},
        // 1 kHz is 51.2 samples a period at divider 34: the duty cycle's text varies.
        CompareCase{"square:1000:0.3", 34, "pwm", {{"pwm", {}}}, 250},
        // 30 Read ROMs of a reset, a presence and 72 bits. At the device's rates a 1's 6 us low
        // often falls between samples and the bits read are not all those sent, but both sides
        // must read the same.
        CompareCase{"onewire:0416016D4CFF28", 16, "onewire_link", {{"onewire_link", {}}}, 30 * 2},
        CompareCase{"onewire:0416016D4CFF28", 34, "onewire_link,onewire_network",
                    {{"onewire_link", {}}, {"onewire_network", {}}}, 30 * 2}));

// Runs of the samples: the lengths of the runs, the first at the first sample's level.
std::pair<bool, std::vector<std::uint64_t>> RunsOf(const Samples& samples) {
    std::vector<std::uint64_t> lengths;
    auto level = [&](std::uint64_t k) { return (samples.packed[k / 8] >> (7 - k % 8)) & 1; };
    for (std::uint64_t k = 0; k < samples.count; ++k) {
        if (k == 0 || level(k) != level(k - 1))
            lengths.push_back(0);
        ++lengths.back();
    }
    return {level(0) != 0, lengths};
}

TEST(DecoderHost, RunsDecodeAsThePackedBitsDo) {
    const Samples samples = FromSimulator("uart:9600:Hello, 1-bit!", 16, 0.1);
    const TStackedDecoder uart{"uart", {{"baudrate", "9600"}, {"format", "ascii"}}};
    auto host = Host();
    const auto bits = host.Decode({uart}, 102400, samples.packed, samples.count);
    const auto [first, lengths] = RunsOf(samples);
    const auto runs = host.DecodeRuns({uart}, 102400, first, lengths);
    ASSERT_EQ(runs.size(), bits.size());
    std::string text;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(std::tie(runs[i].Start, runs[i].End, runs[i].Class, runs[i].Texts),
                  std::tie(bits[i].Start, bits[i].End, bits[i].Class, bits[i].Texts));
        if (runs[i].Class == "rx-data")
            text += runs[i].Texts.at(0);
    }
    EXPECT_EQ(text.substr(0, 13), "Hello, 1-bit!");
}

TEST(DecoderHost, StacksADecoderOnTheLinesDecoder) {
    // MIDI on UART: a note on, channel 1, note 60, velocity 100. At 25600 baud, not MIDI's 31250,
    // which the simulator cannot send: the midi decoder reads the bytes whatever their rate.
    const Samples samples = FromSimulator("uart:25600:\\x90\\x3C\\x64", 16, 0.05);
    auto host = Host();
    const auto annotations = host.Decode(
        {{"uart", {{"baudrate", "25600"}}}, {"midi", {}}}, 102400, samples.packed, samples.count);
    bool midi = false;
    for (const TAnnotation& a : annotations)
        midi = midi || (a.Decoder == "midi" && !a.Texts.empty());
    EXPECT_TRUE(midi) << "no annotation of the stacked decoder";
}

TEST(DecoderHost, ReadsTheSimulatorsOneWireRom) {
    // Divider 2, 460800 Hz, is below the device's range, but the first the 1-Wire decoder asks
    // for; the device's own rates are a quarter of it at most.
    const Samples samples = FromSimulator("onewire:00000001B81C02", 2, 0.05);
    auto host = Host();
    std::vector<std::string> roms;
    for (const TAnnotation& a : host.Decode({{"onewire_link", {}}, {"onewire_network", {}}},
                                            SampleRateHz(2), samples.packed, samples.count))
        if (a.Decoder == "onewire_network" && a.Texts.at(0).starts_with("ROM"))
            roms.push_back(a.Texts.at(0));
    // The ROM as the network decoder shows it, its last byte highest: A2 is the CRC of the
    // other seven.
    std::vector<std::string> sent;
    for (int i = 0; i < 5; ++i)
        sent.insert(sent.end(), {"ROM command: 0x33 'Read ROM'", "ROM: 0xa200000001b81c02"});
    EXPECT_EQ(roms, sent);
}

const TDecoderInfo* Find(const std::vector<TDecoderInfo>& decoders, const std::string& id) {
    for (const TDecoderInfo& d : decoders)
        if (d.Id == id)
            return &d;
    return nullptr;
}

TEST(DecoderHost, ListsTheLibrarysDecodersThatFitOneLine) {
    auto host = Host();
    const auto decoders = host.ListDecoders();
    const TDecoderInfo* uart = Find(decoders, "uart");
    ASSERT_NE(uart, nullptr);
    EXPECT_EQ(uart->Channel, "rx") << "no channel required: the first optional one";
    bool parity = false;
    for (const TDecoderOption& option : uart->Options)
        if (option.Id == "parity") {
            parity = true;
            EXPECT_EQ(option.Default, "none");
            EXPECT_NE(std::find(option.Choices.begin(), option.Choices.end(), "even"),
                      option.Choices.end());
        }
    EXPECT_TRUE(parity);
    ASSERT_FALSE(uart->Rows.empty());
    EXPECT_FALSE(uart->Rows[0].Classes.empty());
    ASSERT_NE(Find(decoders, "ir_nec"), nullptr);
    EXPECT_EQ(Find(decoders, "ir_nec")->Channel, "ir");
    ASSERT_NE(Find(decoders, "midi"), nullptr) << "a decoder that stacks on uart";
    EXPECT_EQ(Find(decoders, "midi")->Channel, "");
    EXPECT_EQ(Find(decoders, "midi")->Inputs, std::vector<std::string>{"uart"});
    EXPECT_EQ(Find(decoders, "i2c"), nullptr) << "needs two lines";
}

// A decoder folder of our own, for decoders that misbehave.
std::string TestDecoders() {
    const std::string folder = testing::TempDir() + "talvir-test-decoders";
    auto write = [&](const std::string& id, const std::string& body) {
        std::filesystem::create_directories(folder + "/" + id);
        std::ofstream(folder + "/" + id + "/__init__.py") << "from .pd import Decoder\n";
        std::ofstream(folder + "/" + id + "/pd.py")
            << "import sigrokdecode as srd\n"
               "class Decoder(srd.Decoder):\n"
               "    api_version = 3\n"
               "    id = '" << id << "'\n"
               "    name = longname = desc = '" << id << "'\n"
               "    license = 'gplv2+'\n"
               "    inputs = ['logic']\n"
               "    outputs = []\n"
               "    tags = ['Util']\n"
               "    channels = ({'id': 'data', 'name': 'Data', 'desc': 'Data line'},)\n"
               "    annotations = (('x', 'X'),)\n"
               "    def reset(self):\n"
               "        pass\n"
               "    def start(self):\n"
               "        pass\n"
               "    def decode(self):\n"
            << body;
    };
    write("talvir_loop", "        while True:\n            pass\n");
    write("talvir_kill", "        import os, signal\n        os.kill(os.getpid(), signal.SIGKILL)\n");
    return folder;
}

struct FailureCase {
    TStackedDecoder decoder;
    const char* message; // a part of it
};

class DecoderFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(DecoderFailure, EndsTheCallWithOneMessageAndTheNextCallWorks) {
    setenv("SIGROKDECODE_DIR", TestDecoders().c_str(), 1);
    const Samples samples = FromSimulator("uart:9600:Hello, 1-bit!", 16, 0.05);
    auto host = Host(5s);
    try {
        host.Decode({GetParam().decoder}, 102400, samples.packed, samples.count);
        ADD_FAILURE() << "decoded";
    } catch (const TDecodeError& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos) << e.what();
    }
    const auto annotations =
        host.Decode({{"uart", {{"baudrate", "9600"}}}}, 102400, samples.packed, samples.count);
    EXPECT_GE(annotations.size(), 13u * 4);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, DecoderFailure,
    testing::Values(
        // A baud rate of 0 makes the decoder itself raise while it decodes.
        FailureCase{{"uart", {{"baudrate", "0"}}}, "decoding: AttributeError: Protocol decoder"},
        FailureCase{{"uart", {{"baudrate", "fast"}}}, "option baudrate of uart takes a number"},
        FailureCase{{"uart", {{"speed", "1"}}}, "uart has no option speed"},
        FailureCase{{"no_such_decoder", {}}, "no decoder no_such_decoder"},
        FailureCase{{"talvir_loop", {}}, "answered nothing for 5000 ms and was stopped"},
        FailureCase{{"talvir_kill", {}}, "ended by signal 9"}));

TEST(DecoderHost, AProgramThatIsNoHostIsReported) {
    THostProcess host("/nonexistent/talvir-decode", 10s);
    try {
        host.ListDecoders();
        ADD_FAILURE() << "listed";
    } catch (const TDecodeError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "cannot start the decoder host /nonexistent/talvir-decode: No such file or "
                  "directory");
    }
}

// The samples [from, from + count) packed anew from bit 7 of their first byte.
std::vector<std::uint8_t> Piece(const Samples& samples, std::uint64_t from, std::uint64_t count) {
    std::vector<std::uint8_t> packed((count + 7) / 8);
    for (std::uint64_t k = 0; k < count; ++k)
        if ((samples.packed[(from + k) / 8] >> (7 - (from + k) % 8)) & 1)
            packed[k / 8] |= static_cast<std::uint8_t>(0x80 >> (k % 8));
    return packed;
}

using Whole = std::tuple<std::uint64_t, std::uint64_t, std::string, std::string, std::string,
                         std::vector<std::string>>;

std::vector<Whole> Sorted(const std::vector<TAnnotation>& annotations) {
    std::vector<Whole> whole;
    for (const TAnnotation& a : annotations)
        whole.emplace_back(a.Start, a.End, a.Decoder, a.Row, a.Class, a.Texts);
    std::sort(whole.begin(), whole.end());
    return whole;
}

void Append(std::vector<TAnnotation>& to, const std::vector<TAnnotation>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

const TStackedDecoder Uart9600{"uart", {{"baudrate", "9600"}}};

// Piece sizes, taken in turn until the samples run out.
class Pieces : public testing::TestWithParam<std::vector<std::uint64_t>> {};

TEST_P(Pieces, OfBitsDecodeAsTheWholeDoes) {
    const Samples samples = FromSimulator("uart:9600:Hello, 1-bit!", 16, 0.05);
    auto host = Host();
    const auto whole = host.Decode({Uart9600}, 102400, samples.packed, samples.count);
    ASSERT_GE(whole.size(), 13u * 4);
    std::vector<TAnnotation> pieces;
    host.Begin({Uart9600}, 102400);
    for (std::uint64_t at = 0, i = 0; at < samples.count; ++i) {
        const std::uint64_t count = std::min(GetParam()[i % GetParam().size()], samples.count - at);
        Append(pieces, host.Feed(Piece(samples, at, count), count));
        at += count;
    }
    Append(pieces, host.Finish());
    EXPECT_EQ(Sorted(pieces), Sorted(whole));
}

TEST_P(Pieces, OfRunsDecodeAsTheWholeDoes) {
    const Samples samples = FromSimulator("uart:9600:Hello, 1-bit!", 16, 0.05);
    const auto [first, lengths] = RunsOf(samples);
    auto host = Host();
    const auto whole = host.DecodeRuns({Uart9600}, 102400, first, lengths);
    ASSERT_GE(whole.size(), 13u * 4);
    // The sizes count runs here; a run cut in two at a piece's end goes on in the next piece at
    // the same level.
    std::vector<TAnnotation> pieces;
    host.Begin({Uart9600}, 102400);
    bool level = first;
    std::uint64_t cut = 0; // of the run at `at`, the samples already sent
    for (std::size_t at = 0, i = 0; at < lengths.size(); ++i) {
        const std::size_t count = std::min<std::size_t>(GetParam()[i % GetParam().size()],
                                                        lengths.size() - at);
        std::vector<std::uint64_t> piece(lengths.begin() + static_cast<std::ptrdiff_t>(at),
                                         lengths.begin() + static_cast<std::ptrdiff_t>(at + count));
        if (!piece.empty())
            piece.front() -= cut;
        cut = 0;
        if (count > 1 && piece.back() > 1) { // half of the last run now, the rest next time
            cut = piece.back() / 2;
            piece.back() = cut;
        }
        Append(pieces, host.FeedRuns(level, piece));
        at += cut == 0 ? count : count - 1;
        if ((cut == 0 ? count : count - 1) % 2 == 1)
            level = !level;
    }
    Append(pieces, host.Finish());
    EXPECT_EQ(Sorted(pieces), Sorted(whole));
}

INSTANTIATE_TEST_SUITE_P(Sizes, Pieces,
                         testing::Values(std::vector<std::uint64_t>{1},
                                         std::vector<std::uint64_t>{7},
                                         std::vector<std::uint64_t>{8},
                                         std::vector<std::uint64_t>{9},
                                         std::vector<std::uint64_t>{0, 13, 1000, 0, 3, 4099},
                                         std::vector<std::uint64_t>{100000}));

TEST(DecoderStream, AnswersComeBeforeTheDecodingEnds) {
    const Samples samples = FromSimulator("uart:9600:Hello, 1-bit!", 16, 0.05);
    auto host = Host();
    host.Begin({Uart9600}, 102400);
    auto annotations = host.Feed(samples.packed, samples.count);
    // An empty piece sends nothing and collects what the host has sent by now.
    for (auto until = std::chrono::steady_clock::now() + 30s;
         annotations.size() < 13u * 4 && std::chrono::steady_clock::now() < until;)
        Append(annotations, host.Feed({}, 0));
    EXPECT_GE(annotations.size(), 13u * 4) << "the answers wait for the end";
    Append(annotations, host.Finish());
    EXPECT_EQ(Sorted(annotations),
              Sorted(host.Decode({Uart9600}, 102400, samples.packed, samples.count)));
}

TEST(DecoderStream, ABeginMidwayAbandonsTheDecodingUnderWay) {
    const Samples samples = FromSimulator("uart:9600:Hello, 1-bit!", 16, 0.05);
    auto host = Host();
    host.Begin({{"uart", {{"baudrate", "19200"}}}}, 102400);
    host.Feed(Piece(samples, 0, 3001), 3001);
    host.Begin({Uart9600}, 102400);
    auto annotations = host.Feed(samples.packed, samples.count);
    Append(annotations, host.Finish());
    EXPECT_EQ(Sorted(annotations),
              Sorted(host.Decode({Uart9600}, 102400, samples.packed, samples.count)));
}

// Our children of the given program, by their /proc entries.
std::vector<pid_t> Children(const std::string& name) {
    std::vector<pid_t> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.find("(" + name + ")") == std::string::npos)
            continue;
        int parent = 0;
        std::istringstream(line.substr(line.rfind(')') + 2)) >> std::skipws >> line >> parent;
        if (parent == getpid())
            children.push_back(std::stoi(entry.path().filename().string()));
    }
    return children;
}

struct StreamFailure {
    const char* name;
    TStackedDecoder decoder;
    bool killHost; // by its pid after the first piece, rather than by its decoder
    const char* message;
};

class StreamFailures : public testing::TestWithParam<StreamFailure> {};

TEST_P(StreamFailures, ThrowOnceAndTheNextBeginWorks) {
    setenv("SIGROKDECODE_DIR", TestDecoders().c_str(), 1);
    const Samples samples = FromSimulator("uart:9600:Hello, 1-bit!", 16, 0.05);
    auto host = Host(5s);
    host.Begin({GetParam().decoder}, 102400);
    host.Feed(Piece(samples, 0, 1000), 1000);
    if (GetParam().killHost) {
        const auto hosts = Children("talvir-decode");
        ASSERT_EQ(hosts.size(), 1u);
        kill(hosts[0], SIGKILL);
    }
    int failures = 0;
    try {
        for (std::uint64_t at = 1000; at + 1000 <= samples.count; at += 1000)
            host.Feed(Piece(samples, at, 1000), 1000);
        host.Finish();
    } catch (const TDecodeError& e) {
        ++failures;
        EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos) << e.what();
    }
    EXPECT_EQ(failures, 1);
    EXPECT_THROW(host.Feed(Piece(samples, 0, 8), 8), std::logic_error) << "the decoding went on";
    host.Begin({Uart9600}, 102400);
    auto annotations = host.Feed(samples.packed, samples.count);
    Append(annotations, host.Finish());
    EXPECT_GE(annotations.size(), 13u * 4);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, StreamFailures,
    testing::Values(StreamFailure{"DecoderKillsItsHost", {"talvir_kill", {}}, false,
                                  "ended by signal 9"},
                    StreamFailure{"HostKilled", Uart9600, true, "ended by signal 9"},
                    StreamFailure{"DecoderRaises", {"uart", {{"baudrate", "0"}}}, false,
                                  "AttributeError"},
                    StreamFailure{"DecoderHangs", {"talvir_loop", {}}, false,
                                  "answered nothing for 5000 ms"}),
    [](const auto& failure) { return std::string(failure.param.name); });

// A host of our own that answers whatever it is sent with `lines`, for lines ours never sends.
std::string ScriptedHost(const std::string& name, const std::string& lines) {
    const std::string path = testing::TempDir() + name;
    std::ofstream(path) << "#!/bin/sh\ncat <<'END'\n" << lines << "END\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

struct LineCase {
    const char* name;
    const char* line;
    std::vector<std::string> texts; // of the annotation read; none read: the line is refused
};

class AnnotationLine : public testing::TestWithParam<LineCase> {};

TEST_P(AnnotationLine, IsReadWholeOrRefused) {
    const LineCase& c = GetParam();
    THostProcess host(ScriptedHost(c.name, std::string(c.line) + "\ndone\t1\n"), 10s);
    const std::vector<std::uint8_t> packed(1);
    try {
        const auto annotations = host.Decode({{"uart", {}}}, 102400, packed, 8);
        ASSERT_EQ(annotations.size(), 1u);
        EXPECT_EQ(std::tie(annotations[0].Start, annotations[0].End, annotations[0].Decoder,
                           annotations[0].Row, annotations[0].Class),
                  std::make_tuple(5, 9, "uart", "", "rx-data"));
        EXPECT_EQ(annotations[0].Texts, c.texts);
        EXPECT_FALSE(c.texts.empty()) << "read a line to refuse";
    } catch (const TDecodeError& e) {
        EXPECT_TRUE(c.texts.empty()) << e.what();
        EXPECT_STREQ(e.what(), "the decoder host sent a line that is not of the protocol");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, AnnotationLine,
    testing::Values(LineCase{"texts", "ann\t5\t9\tuart\t\trx-data\tHello\tH", {"Hello", "H"}},
                    LineCase{"escaped", "ann\t5\t9\tuart\t\trx-data\ta\\tb\\\\", {"a\tb\\"}},
                    LineCase{"empty_text", "ann\t5\t9\tuart\t\trx-data\t", {""}},
                    LineCase{"no_class", "ann\t5\t9\tuart\t", {}},
                    LineCase{"bad_start", "ann\t5x\t9\tuart\t\trx-data\tHello", {}},
                    LineCase{"no_end", "ann\t5\t\tuart\t\trx-data\tHello", {}}),
    [](const testing::TestParamInfo<LineCase>& param) { return std::string(param.param.name); });

struct EscapeCase {
    std::string text;
    std::string field;
};

class Fields : public testing::TestWithParam<EscapeCase> {};

TEST_P(Fields, EscapeSoALineSplitsBackIntoTheSameTexts) {
    EXPECT_EQ(EscapeField(GetParam().text), GetParam().field);
    const std::vector<std::string> texts{"ann", GetParam().text, "", GetParam().text};
    std::string line = JoinFields(texts);
    ASSERT_EQ(line.back(), '\n');
    line.pop_back();
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(SplitFields(line), texts);
}

INSTANTIATE_TEST_SUITE_P(Texts, Fields,
                         testing::Values(EscapeCase{"Start bit", "Start bit"},
                                         EscapeCase{"a\tb\nc\rd", "a\\tb\\nc\\rd"},
                                         EscapeCase{"\\n", "\\\\n"},
                                         EscapeCase{"end\\", "end\\\\"}));

struct RateCase {
    unsigned divider;
    std::uint64_t hz;
};

class Rate : public testing::TestWithParam<RateCase> {};

TEST_P(Rate, IsTheDevicesRateRoundedToWholeHertz) {
    EXPECT_EQ(SampleRateHz(GetParam().divider), GetParam().hz);
}

// 11059200 / 108 = 102400 exactly; / 114 = 97010.53; / 168 = 65828.57; / 492 = 22478.05;
// / 393222 = 28.12.
INSTANTIATE_TEST_SUITE_P(Dividers, Rate,
                         testing::Values(RateCase{16, 102400}, RateCase{17, 97011},
                                         RateCase{26, 65829}, RateCase{80, 22478},
                                         RateCase{65535, 28}));

} // namespace
} // namespace decode
