#pragma once
// Decodings off the caller's thread, for a window that must never wait for a decoder. One
// decoding runs at a time; a request posted meanwhile waits, and a newer one takes its place:
// the replaced request is skipped and counted, so a decoder slower than the sweeps decodes the
// latest sweep rather than falling ever further behind.
//
// Threads: Post, RequestList and the destructor from the owning thread. `ready` runs on the
// worker's own thread once a result is there to take; the results themselves cross under the
// worker's lock (TakeDecoded, TakeList, from any thread), so nothing but that wake-up goes through
// the owner's event queue.

#include "decode/client.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace decode {

struct TDecodeRequest {
    std::uint64_t Tag = 0; // the owner's, given back with the result
    std::vector<TStackedDecoder> Stack;
    std::uint64_t RateHz = 0;
    std::vector<std::uint8_t> Packed; // 8 samples a byte, the earliest in bit 7
    std::uint64_t Samples = 0;
};

struct TDecodeResult {
    std::uint64_t Tag = 0;
    std::vector<TAnnotation> Annotations;
    std::string Error; // empty when the decoding went through
    // Requests replaced by a newer one before they ran, since the last result.
    std::uint64_t Skipped = 0;
};

struct TListResult {
    std::vector<TDecoderInfo> Decoders;
    std::string Error;
};

class TDecodeWorker {
public:
    using TReady = std::function<void()>;

    TDecodeWorker(std::string program, std::chrono::milliseconds limit, TReady ready);
    // Ends a decoding under way (its host is stopped) and waits for the thread.
    ~TDecodeWorker();
    TDecodeWorker(const TDecodeWorker&) = delete;
    TDecodeWorker& operator=(const TDecodeWorker&) = delete;

    void Post(TDecodeRequest request);
    // Asks for the library's list of decoders.
    void RequestList();

    // The latest decoding's result not taken yet: one not taken before the next came counts as
    // skipped in the next.
    std::optional<TDecodeResult> TakeDecoded();
    // The list, once, when it has come.
    std::optional<TListResult> TakeList();

private:
    void Run();

    THostProcess host_;
    TReady ready_;
    std::mutex mutex_;
    std::optional<TDecodeResult> decoded_;
    std::optional<TListResult> listed_;
    std::condition_variable wake_;
    std::optional<TDecodeRequest> waiting_;
    bool listWanted_ = false;
    std::uint64_t skipped_ = 0;
    std::atomic<bool> stop_ = false;
    std::thread thread_;
};

} // namespace decode
