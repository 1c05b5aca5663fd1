#pragma once
// Our side of the decoder host: starts talvir-decode, lists its decoders, feeds it samples and
// reads back the annotations. It does not link the decoder library; the host runs it.
//
// Threads: a THostProcess is used by one thread at a time. ListDecoders, Decode, DecodeRuns and
// Finish block until the host has answered, failed or been stopped. Feed and FeedRuns block only
// until the host has taken their samples: a host slower than the caller holds each piece back
// (while its answers are read) until it has read it, so that the pieces cannot pile up in memory.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace decode {

// A decoding that did not finish: the decoder's own error, a host that hung or ended.
class TDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TDecoderOption {
    std::string Id;
    std::string Description;
    std::string Default;
    std::vector<std::string> Choices; // empty: any value of the default's type
};

struct TAnnotationClass {
    std::string Id;
    std::string Description;
};

struct TAnnotationRow {
    std::string Id;
    std::string Description;
    std::vector<std::string> Classes;
};

struct TDecoderInfo {
    std::string Id;
    // The channel our line goes to; empty for a decoder that stacks on another's output.
    std::string Channel;
    std::vector<std::string> Inputs;
    std::vector<std::string> Outputs;
    std::string Name;
    std::string Description;
    std::vector<TDecoderOption> Options;
    std::vector<TAnnotationClass> Classes;
    std::vector<TAnnotationRow> Rows;
};

// One decoder of a stack, the first on the line, each next on the one before.
struct TStackedDecoder {
    std::string Id;
    std::vector<std::pair<std::string, std::string>> Options; // id, value as text
};

struct TAnnotation {
    std::uint64_t Start = 0;
    std::uint64_t End = 0;
    std::string Decoder;
    std::string Row; // empty for a class in no row
    std::string Class;
    std::vector<std::string> Texts; // longest first, then shorter forms
};

class THostProcess {
public:
    // `program`: the path of talvir-decode. `limit`: how long the host may go without reading
    // or answering before it is taken to hang and is killed.
    THostProcess(std::string program, std::chrono::milliseconds limit);
    ~THostProcess();
    THostProcess(const THostProcess&) = delete;
    THostProcess& operator=(const THostProcess&) = delete;

    // While `cancel` is set, the call under way ends within a moment with a TDecodeError and its
    // host is stopped: how another thread ends a decoding it no longer wants. Null for none.
    void SetCancel(const std::atomic<bool>* cancel) { cancel_ = cancel; }

    // The library's decoders that fit one line, and those that stack on them. Throws
    // TDecodeError.
    std::vector<TDecoderInfo> ListDecoders();

    // Decodes `samples` samples packed 8 a byte, the earliest in bit 7. Throws TDecodeError; the
    // host is started again for the next call after any failure.
    std::vector<TAnnotation> Decode(const std::vector<TStackedDecoder>& stack,
                                    std::uint64_t sampleRateHz,
                                    std::span<const std::uint8_t> packed, std::uint64_t samples);

    // The same for samples given as runs of one level: `lengths` in samples, the first run at
    // `firstLevel`, the levels alternating. What a long, quiet recording is cheapest sent as.
    std::vector<TAnnotation> DecodeRuns(const std::vector<TStackedDecoder>& stack,
                                        std::uint64_t sampleRateHz, bool firstLevel,
                                        std::span<const std::uint64_t> lengths);

    // A decoding fed in pieces: Begin, then Feed / FeedRuns any number of times, then Finish.
    // Samples are numbered from 0 across the pieces. Feed and FeedRuns send their samples and
    // return the annotations the host has sent so far, without waiting for those of these samples;
    // Finish ends the decoding and returns the rest. Any failure throws TDecodeError and ends the
    // decoding (the next Begin starts a fresh host). A Begin during a decoding abandons that one
    // and its host; Feed, FeedRuns and Finish without one throw std::logic_error.
    void Begin(const std::vector<TStackedDecoder>& stack, std::uint64_t sampleRateHz);
    std::vector<TAnnotation> Feed(std::span<const std::uint8_t> packed, std::uint64_t samples);
    std::vector<TAnnotation> FeedRuns(bool firstLevel, std::span<const std::uint64_t> lengths);
    std::vector<TAnnotation> Finish();

private:
    // Sends `out` within the decoding under way and returns the annotations read meanwhile: all of
    // them up to "done" with `untilDone`, else those there are once `out` is sent.
    std::vector<TAnnotation> Decoding(std::string_view out, bool untilDone);
    void Start();
    void Stop();
    // Writes `out` while reading lines, until `onLine` says a line is the last or, without
    // `untilLast`, until `out` is written and no more is there to read.
    template <typename OnLine> void Exchange(std::string_view out, bool untilLast, OnLine onLine);
    [[noreturn]] void Fail(const std::string& message);

    std::string program_;
    std::chrono::milliseconds limit_;
    const std::atomic<bool>* cancel_ = nullptr;
    pid_t pid_ = -1;
    int toHost_ = -1;
    int fromHost_ = -1;
    std::string received_;
    bool decoding_ = false; // between Begin and Finish
};

} // namespace decode
