// The byte ring under the dispatch buffer and the output ring: bytes come out in the order they
// went in wherever the positions stand, a write that does not fit changes nothing, and the
// in-place writer's bytes survive a drop of everything unread.

#include "serial/byte_ring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <string>
#include <vector>

using namespace serial;

namespace {

std::vector<uint8_t> Bytes(uint32_t Count, uint8_t First) {
    std::vector<uint8_t> Result(Count);
    for (uint32_t I = 0; I < Count; ++I)
        Result[I] = static_cast<uint8_t>(First + I * 7);
    return Result;
}

// Everything unread, read run by run as a handler takes it; Runs counts them.
std::vector<uint8_t> Unread(const TByteRing& Ring, int* Runs = nullptr) {
    std::vector<uint8_t> Result;
    int Count = 0;
    while (Result.size() < Ring.Used()) {
        const TConstByteRun Run = Ring.UnreadRun(static_cast<uint32_t>(Result.size()));
        if (Run.Length == 0)
            break;
        Result.insert(Result.end(), Run.Data, Run.Data + Run.Length);
        ++Count;
    }
    if (Runs)
        *Runs = Count;
    return Result;
}

// Writes as the dispatch thread does: straight into the free runs, then commits.
void WriteInPlace(TByteRing& Ring, const std::vector<uint8_t>& Data) {
    const auto Free = Ring.FreeRuns();
    const uint32_t First = std::min<uint32_t>(static_cast<uint32_t>(Data.size()), Free[0].Length);
    std::copy_n(Data.begin(), First, Free[0].Data);
    std::copy(Data.begin() + First, Data.end(), Free[1].Data);
    Ring.Commit(static_cast<uint32_t>(Data.size()));
}

struct TLayout {
    const char* Name;
    uint32_t Size;
    uint32_t Start; // bytes written and read before, which moves both positions
    uint32_t Length;
};

enum class TWriter { Copy, InPlace };

class ByteRingLayout : public ::testing::TestWithParam<std::tuple<TLayout, TWriter>> {};

TEST_P(ByteRingLayout, GivesTheBytesBackInOrderWhereverTheyStart) {
    const auto& [L, Writer] = GetParam();
    TByteRing Ring;
    Ring.Allocate(L.Size);
    ASSERT_TRUE(Ring.Write(Bytes(L.Start, 0).data(), L.Start));
    Ring.Drop(L.Start);
    const auto Data = Bytes(L.Length, 3);
    if (Writer == TWriter::Copy)
        ASSERT_TRUE(Ring.Write(Data.data(), Data.size()));
    else
        WriteInPlace(Ring, Data);
    EXPECT_EQ(Ring.Used(), L.Length);
    EXPECT_EQ(Ring.Free(), L.Size - L.Length);

    // A run stops at the end of the storage: two when the bytes wrap around it.
    int Runs = 0;
    EXPECT_EQ(Unread(Ring, &Runs), Data);
    EXPECT_EQ(Runs, L.Start % L.Size + L.Length > L.Size ? 2 : 1);
    const TConstByteRun All = Ring.Gather();
    EXPECT_EQ(std::vector<uint8_t>(All.Data, All.Data + All.Length), Data);
    EXPECT_EQ(Ring.Used(), L.Length);

    Ring.Drop(L.Length);
    EXPECT_EQ(Ring.Used(), 0u);
    const auto Free = Ring.FreeRuns();
    EXPECT_EQ(Free[0].Length + Free[1].Length, L.Size);
}

const TLayout Layouts[] = {
    {"OneByteAtTheFront", 8, 0, 1},
    {"FullFromTheFront", 8, 0, 8},
    {"UpToTheEnd", 8, 5, 3},
    {"WrapsByOne", 8, 5, 4},
    {"FullAndWrapped", 8, 5, 8},
    {"LastByteOnly", 8, 7, 1},
    {"SingleByteRing", 1, 1, 1},
    {"OddSizeWrapped", 5, 3, 4},
    {"DispatchBufferFullAndWrapped", 8192, 8000, 8192},
};

INSTANTIATE_TEST_SUITE_P(Layouts, ByteRingLayout,
                         ::testing::Combine(::testing::ValuesIn(Layouts),
                                            ::testing::Values(TWriter::Copy, TWriter::InPlace)),
                         [](const auto& Info) {
                             return std::string(std::get<0>(Info.param).Name) +
                                    (std::get<1>(Info.param) == TWriter::Copy ? "Copied"
                                                                              : "InPlace");
                         });

TEST(ByteRing, RefusesAWriteThatDoesNotFitWhole) {
    TByteRing Ring;
    Ring.Allocate(8);
    const auto Data = Bytes(8, 1);
    ASSERT_TRUE(Ring.Write(Data.data(), 5));
    EXPECT_FALSE(Ring.Write(Data.data() + 5, 4));
    EXPECT_EQ(Unread(Ring), std::vector<uint8_t>(Data.begin(), Data.begin() + 5));
    EXPECT_TRUE(Ring.Write(Data.data() + 5, 3));
    EXPECT_EQ(Ring.Free(), 0u);
    EXPECT_FALSE(Ring.Write(Data.data(), 1));
    const auto Free = Ring.FreeRuns();
    EXPECT_EQ(Free[0].Length + Free[1].Length, 0u);
    EXPECT_EQ(Unread(Ring), Data);
}

// Empty and full rings have their positions at the same place; a zero count must not turn one
// into the other.
TEST(ByteRing, ZeroCountsLeaveEmptyAndFullAsTheyAre) {
    TByteRing Ring;
    Ring.Allocate(8);
    Ring.Commit(0);
    EXPECT_EQ(Ring.Used(), 0u);
    EXPECT_TRUE(Ring.Write(nullptr, 0));
    EXPECT_EQ(Ring.Used(), 0u);
    const auto Data = Bytes(8, 9);
    ASSERT_TRUE(Ring.Write(Data.data(), Data.size()));
    Ring.Drop(0);
    EXPECT_EQ(Ring.Used(), 8u);
    EXPECT_EQ(Unread(Ring), Data);
}

// A close flushes the input while the dispatch thread reads the device into the free part: the
// bytes it commits afterwards are the ones it wrote, not stale ones.
TEST(ByteRing, DroppingEverythingKeepsTheInPlaceWritersBytes) {
    TByteRing Ring;
    Ring.Allocate(8);
    const auto Old = Bytes(6, 1);
    ASSERT_TRUE(Ring.Write(Old.data(), Old.size()));
    const auto Free = Ring.FreeRuns();
    Free[0].Data[0] = 0xA5;
    Free[0].Data[1] = 0x5A;
    Ring.Drop(Ring.Used());
    Ring.Commit(2);
    EXPECT_EQ(Unread(Ring), (std::vector<uint8_t>{0xA5, 0x5A}));
}

TEST(ByteRing, ClearedStartsAgainWithOneWholeFreeRun) {
    TByteRing Ring;
    Ring.Allocate(8);
    const auto Data = Bytes(5, 1);
    ASSERT_TRUE(Ring.Write(Data.data(), Data.size()));
    Ring.Drop(2);
    Ring.Clear();
    EXPECT_EQ(Ring.Used(), 0u);
    EXPECT_EQ(Ring.FreeRuns()[0].Length, 8u);
}

// A closed port's rings are released, and a zero output size allocates nothing.
TEST(ByteRing, WithoutStorageHoldsNothing) {
    TByteRing Released;
    Released.Allocate(8);
    const auto Data = Bytes(4, 1);
    ASSERT_TRUE(Released.Write(Data.data(), Data.size()));
    Released.Release();
    TByteRing Empty;
    Empty.Allocate(0);
    for (TByteRing* Ring : {&Released, &Empty}) {
        EXPECT_EQ(Ring->Size(), 0u);
        EXPECT_EQ(Ring->Used(), 0u);
        EXPECT_EQ(Ring->Free(), 0u);
        EXPECT_FALSE(Ring->Write(Data.data(), 1));
        EXPECT_EQ(Ring->FreeRuns()[0].Length + Ring->FreeRuns()[1].Length, 0u);
        EXPECT_EQ(Ring->Gather().Length, 0u);
        Ring->Drop(1);
        EXPECT_EQ(Ring->Used(), 0u);
    }
}

// Random writes, in-place writes, partial drops and gathers against a plain queue.
class ByteRingAgainstAQueue : public ::testing::TestWithParam<uint32_t> {};

TEST_P(ByteRingAgainstAQueue, HoldsWhatTheQueueHolds) {
    const uint32_t Size = GetParam();
    TByteRing Ring;
    Ring.Allocate(Size);
    std::deque<uint8_t> Model;
    std::mt19937 Random(Size);
    uint8_t Next = 0;
    for (int Step = 0; Step < 2000; ++Step) {
        const auto Pick = [&](uint32_t Max) {
            return std::uniform_int_distribution<uint32_t>(0, Max)(Random);
        };
        switch (Pick(3)) {
        case 0: { // may ask for one more than fits
            const auto Data = Bytes(Pick(Size - static_cast<uint32_t>(Model.size()) + 1), Next);
            const bool Fits = Data.size() <= Size - Model.size();
            ASSERT_EQ(Ring.Write(Data.data(), Data.size()), Fits) << "step " << Step;
            if (Fits)
                Model.insert(Model.end(), Data.begin(), Data.end());
            Next = static_cast<uint8_t>(Next + Data.size());
            break;
        }
        case 1: {
            const auto Data = Bytes(Pick(Size - static_cast<uint32_t>(Model.size())), Next);
            WriteInPlace(Ring, Data);
            Model.insert(Model.end(), Data.begin(), Data.end());
            Next = static_cast<uint8_t>(Next + Data.size());
            break;
        }
        case 2: {
            const uint32_t Count = Pick(static_cast<uint32_t>(Model.size()));
            Ring.Drop(Count);
            Model.erase(Model.begin(), Model.begin() + Count);
            break;
        }
        default: {
            const TConstByteRun All = Ring.Gather();
            ASSERT_EQ(std::vector<uint8_t>(All.Data, All.Data + All.Length),
                      std::vector<uint8_t>(Model.begin(), Model.end()))
                << "step " << Step;
            break;
        }
        }
        ASSERT_EQ(Ring.Used(), Model.size()) << "step " << Step;
        ASSERT_EQ(Unread(Ring), std::vector<uint8_t>(Model.begin(), Model.end()))
            << "step " << Step;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ByteRingAgainstAQueue, ::testing::Values(1u, 3u, 8u, 4096u));

} // namespace
