// The byte ring's positions: which part of the storage is unread and which is free.

#include "serial/byte_ring.h"

#include <algorithm>
#include <cstring>

namespace serial {

void TByteRing::Allocate(uint32_t Size) {
    FData.assign(Size, 0);
    Clear();
}

void TByteRing::Release() {
    FData = {};
    Clear();
}

void TByteRing::Clear() {
    FHead = FTail = 0;
    FFull = false;
}

uint32_t TByteRing::Used() const {
    if (FFull)
        return Size();
    return FHead >= FTail ? FHead - FTail : FHead + Size() - FTail;
}

bool TByteRing::Write(const uint8_t* Data, std::size_t Length) {
    if (Length == 0)
        return true;
    const uint32_t Left = Free();
    if (Left < Length)
        return false;
    const auto Count = static_cast<uint32_t>(Length);
    const uint32_t First = std::min(Count, Size() - FHead);
    std::memcpy(FData.data() + FHead, Data, First);
    std::memcpy(FData.data(), Data + First, Count - First);
    FHead = Advance(FHead, Count);
    FFull = Left == Count;
    return true;
}

std::array<TByteRun, 2> TByteRing::FreeRuns() {
    uint8_t* const Front = FData.data();
    if (FFull)
        return {};
    if (FTail > FHead)
        return {{{Front + FHead, FTail - FHead}, {}}};
    return {{{Front + FHead, Size() - FHead}, {Front, FTail}}};
}

void TByteRing::Commit(uint32_t Count) {
    if (Count == 0)
        return;
    FHead = Advance(FHead, Count);
    FFull = FHead == FTail;
}

TConstByteRun TByteRing::UnreadRun(uint32_t Offset) const {
    const uint32_t Position = Advance(FTail, Offset);
    return {FData.data() + Position, std::min(Used() - Offset, Size() - Position)};
}

TConstByteRun TByteRing::Gather() {
    const uint32_t Count = Used();
    if (Count == 0)
        return {};
    if ((FTail > FHead || FFull) && FHead != 0) {
        std::rotate(FData.begin(), FData.begin() + FTail, FData.end());
        FTail = 0;
        FHead = Advance(0, Count);
    }
    return {FData.data() + FTail, Count};
}

void TByteRing::Drop(uint32_t Count) {
    if (Count == 0 || FData.empty())
        return;
    FTail = Advance(FTail, Count);
    FFull = false;
}

} // namespace serial
