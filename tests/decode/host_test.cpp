// The decoder host through its client: the library's decoders on our own samples give what
// sigrok-cli gives on our VCD of the same samples, and a decoder that fails, hangs or a host that
// dies ends the call with one clear message.
#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
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
    SigrokCli(const std::string& vcd, unsigned divider, const std::string& stack)
        : command_("sigrok-cli -I vcd:downsample=" +
                   std::to_string(trace::VcdDownsample(PeriodMs(divider))) + " -i '" + vcd +
                   "' -P " + stack + " --protocol-decoder-samplenum -A " +
                   stack.substr(0, stack.find(':'))) {}

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
    TStackedDecoder decoder;
    std::size_t least; // annotations at the least, so that decoding nothing cannot pass
};

class SameAsSigrokCli : public testing::TestWithParam<CompareCase> {};

TEST_P(SameAsSigrokCli, OnTheSameSamples) {
    const auto& c = GetParam();
    const Samples samples = FromSimulator(c.source, c.divider, 0.3);
    auto host = Host();
    std::vector<Seen> ours;
    std::set<std::string> classes;
    for (const TAnnotation& a : host.Decode({c.decoder}, SampleRateHz(c.divider), samples.packed,
                                            samples.count)) {
        ours.emplace_back(a.Start, a.End, a.Class, a.Texts.at(0));
        classes.insert(a.Class);
    }
    const SigrokCli cli(WriteVcd(samples, c.divider, c.decoder.Id), c.divider, c.stack);
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
                    {"uart", {{"baudrate", "9600"}}}, 3 * 13 * 4},
        CompareCase{"uart:19200:Hello, 1-bit!:even", 34, "uart:baudrate=19200:parity=even",
                    {"uart", {{"baudrate", "19200"}, {"parity", "even"}}}, 3 * 13 * 5},
        CompareCase{"uart:9600:Hello, 1-bit!:odd", 16, "uart:baudrate=9600:parity=odd:format=ascii",
                    {"uart", {{"baudrate", "9600"}, {"parity", "odd"}, {"format", "ascii"}}},
                    3 * 13 * 5},
        CompareCase{"nec:89:194", 16, "ir_nec", {"ir_nec", {}}, 2 * 5}));

} // namespace
} // namespace decode
