// Decodings off the caller's thread: every request is answered or counted as skipped, the latest
// is never lost, and a worker whose decoder hangs can still be ended at once.
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "decode/catalog.h"
#include "decode/worker.h"

namespace decode {
namespace {

using namespace std::chrono_literals;

// The worker's wake-ups, counted from its thread.
class Wakes {
public:
    void Ready() {
        std::lock_guard lock(mutex_);
        ++count_;
        changed_.notify_all();
    }
    // Waits for a wake-up after the `seen`th, up to two minutes; false when none came.
    bool After(std::uint64_t& seen) {
        std::unique_lock lock(mutex_);
        const bool woken = changed_.wait_for(lock, 120s, [&] { return count_ > seen; });
        seen = count_;
        return woken;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t count_ = 0;
};

TDecodeWorker MakeWorker(Wakes& wakes, std::chrono::milliseconds limit = 60s) {
    return TDecodeWorker(TALVIR_DECODE_PROGRAM, limit, [&] { wakes.Ready(); });
}

// A square wave of 8-sample periods, half high: what pwm reads a duty cycle of 50 % from.
TDecodeRequest Square(std::uint64_t tag) {
    TDecodeRequest request;
    request.Tag = tag;
    request.Stack = {{"pwm", {}}};
    request.RateHz = 102400;
    request.Packed.assign(4096, 0xF0);
    request.Samples = 4096 * 8;
    return request;
}

TEST(DecodeWorker, AnswersEveryRequestOrCountsItSkippedAndNeverLosesTheLatest) {
    Wakes wakes;
    auto worker = MakeWorker(wakes);
    constexpr std::uint64_t kRequests = 6;
    for (std::uint64_t tag = 1; tag <= kRequests; ++tag)
        worker.Post(Square(tag));
    // Taken as the owner takes them: at each wake-up, the latest not taken yet.
    std::vector<TDecodeResult> decoded;
    for (std::uint64_t seen = 0; decoded.empty() || decoded.back().Tag != kRequests;) {
        ASSERT_TRUE(wakes.After(seen));
        if (auto result = worker.TakeDecoded())
            decoded.push_back(std::move(*result));
    }
    std::uint64_t skipped = 0;
    for (const TDecodeResult& result : decoded) {
        EXPECT_EQ(result.Error, "");
        EXPECT_GT(result.Annotations.size(), 100u) << "tag " << result.Tag;
        skipped += result.Skipped;
    }
    EXPECT_EQ(decoded.size() + skipped, kRequests);
    for (std::size_t i = 1; i < decoded.size(); ++i)
        EXPECT_LT(decoded[i - 1].Tag, decoded[i].Tag);
}

TEST(DecodeWorker, ListsTheLibrarysDecoders) {
    Wakes wakes;
    auto worker = MakeWorker(wakes);
    worker.RequestList();
    std::uint64_t seen = 0;
    ASSERT_TRUE(wakes.After(seen));
    const std::optional<TListResult> list = worker.TakeList();
    ASSERT_TRUE(list);
    EXPECT_EQ(list->Error, "");
    EXPECT_NE(FindDecoder(list->Decoders, "uart"), nullptr);
    EXPECT_FALSE(worker.TakeList()) << "taken once";
}

TEST(DecodeWorker, EndsAtOnceWhileItsDecoderHangs) {
    const std::string folder = testing::TempDir() + "talvir-worker-decoders/talvir_hang";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/__init__.py") << "from .pd import Decoder\n";
    std::ofstream(folder + "/pd.py") << "import sigrokdecode as srd\n"
                                        "class Decoder(srd.Decoder):\n"
                                        "    api_version = 3\n"
                                        "    id = 'talvir_hang'\n"
                                        "    name = longname = desc = 'hang'\n"
                                        "    license = 'gplv2+'\n"
                                        "    inputs = ['logic']\n"
                                        "    outputs = []\n"
                                        "    tags = ['Util']\n"
                                        "    channels = ({'id': 'data', 'name': 'D', 'desc': 'D'},)\n"
                                        "    annotations = (('x', 'X'),)\n"
                                        "    def reset(self):\n        pass\n"
                                        "    def start(self):\n        pass\n"
                                        "    def decode(self):\n        while True:\n            pass\n";
    setenv("SIGROKDECODE_DIR", (testing::TempDir() + "talvir-worker-decoders").c_str(), 1);
    Wakes wakes;
    const auto begun = std::chrono::steady_clock::now();
    {
        // The host would be taken to hang only after ten minutes.
        auto worker = MakeWorker(wakes, 600s);
        TDecodeRequest request = Square(1);
        request.Stack = {{"talvir_hang", {}}};
        worker.Post(std::move(request));
        std::this_thread::sleep_for(1s);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 60s);
    unsetenv("SIGROKDECODE_DIR");
}

// The rules of the stack's choosers, on a list of the library's shape.
TEST(DecoderCatalog, OffersOnTheLineThoseWithAChannelAndAboveThoseTakingTheOutput) {
    const std::vector<TDecoderInfo> list{
        {"uart", "rx", {"logic"}, {"uart"}, "UART", "", {}, {}, {}},
        {"midi", "", {"uart"}, {"midi"}, "MIDI", "", {}, {}, {}},
        {"onewire_link", "owr", {"logic"}, {"onewire_link"}, "1-Wire link", "", {}, {}, {}},
        {"onewire_network", "", {"onewire_link"}, {"onewire_network"}, "1-Wire", "", {}, {}, {}},
        {"modbus", "", {"uart"}, {"modbus"}, "Modbus", "", {}, {}, {}},
    };
    const auto ids = [](const std::vector<const TDecoderInfo*>& decoders) {
        std::vector<std::string> names;
        for (const TDecoderInfo* d : decoders)
            names.push_back(d->Id);
        return names;
    };
    EXPECT_EQ(ids(LineDecoders(list)), (std::vector<std::string>{"uart", "onewire_link"}));
    EXPECT_EQ(ids(DecodersOn(list, list[0])), (std::vector<std::string>{"midi", "modbus"}));
    EXPECT_EQ(ids(DecodersOn(list, list[2])), std::vector<std::string>{"onewire_network"});
    EXPECT_TRUE(DecodersOn(list, list[1]).empty());
    EXPECT_EQ(FindDecoder(list, "modbus"), &list[4]);
    EXPECT_EQ(FindDecoder(list, "spi"), nullptr);
}

} // namespace
} // namespace decode
