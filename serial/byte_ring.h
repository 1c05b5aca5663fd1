#pragma once
// A ring of bytes with a fixed storage: the dispatcher's dispatch buffer, where received bytes wait
// for a handler, and its output ring, where queued bytes wait for the transmit thread.
//
// Threading contract
// - Not synchronised: its owner holds one lock around every call (the dispatcher's FInput for the
//   dispatch buffer, FOutput for the output ring).
// - The storage stays in place from Allocate to Release, and only Gather moves bytes within it.
//   So one writer may fill the runs FreeRuns gave it without the lock and Commit them under it,
//   and one reader may read a run UnreadRun or Gather gave it without the lock until it drops
//   those bytes, while the other side writes or reads under the lock meanwhile. Only the writer
//   moves the write position (Write, Commit); Drop moves only the read position, so a drop in
//   between never uncovers bytes still being written. Clear, Release and Gather need that no such
//   run is held by another thread.
// - It loses nothing, so it has nothing to count: Write refuses what does not fit whole, and an
//   in-place writer commits no more than the free runs it was given.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace serial {

struct TByteRun {
    uint8_t* Data = nullptr;
    uint32_t Length = 0;
};

struct TConstByteRun {
    const uint8_t* Data = nullptr;
    uint32_t Length = 0;
};

class TByteRing {
public:
    // Storage of Size bytes, empty. Size 0, or a released ring, holds nothing.
    void Allocate(uint32_t Size);
    void Release();
    // Empties it and starts again at the front of the storage.
    void Clear();

    uint32_t Size() const { return static_cast<uint32_t>(FData.size()); }
    uint32_t Used() const;
    uint32_t Free() const { return Size() - Used(); }

    // Copies Length bytes in, all of them or, when fewer are free, none.
    bool Write(const uint8_t* Data, std::size_t Length);
    // The free part as the run at the write position and the run that goes on from the front of
    // the storage (empty unless the free part wraps around the end), for writing in place.
    std::array<TByteRun, 2> FreeRuns();
    // Counts Count bytes written in place as unread; at most Free(), 0 changes nothing.
    void Commit(uint32_t Count);

    // The unread bytes from Offset past the read position to the write position or the end of
    // the storage, whichever comes first. Offset < Used().
    TConstByteRun UnreadRun(uint32_t Offset) const;
    // All unread bytes as one run: when they wrap around the end of the storage, they are moved
    // to its front first.
    TConstByteRun Gather();
    // Moves the read position past Count bytes: at most Used(), 0 changes nothing.
    void Drop(uint32_t Count);

private:
    uint32_t Advance(uint32_t Position, uint32_t Count) const {
        return (Position + Count) % Size();
    }

    std::vector<uint8_t> FData;
    uint32_t FHead = 0; // write position
    uint32_t FTail = 0; // read position
    // The positions meet both when it is empty and when it is full; this tells which.
    bool FFull = false;
};

} // namespace serial
