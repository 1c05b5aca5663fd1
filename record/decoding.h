#pragma once
// The recording's samples decoded while it records: fed to the decoder host on a thread of its
// own, the annotations written as CSV lines to a file or to standard output as they come back.
//
// Threads: Add is called by the recording's thread and never waits for the decoder: it queues
// the samples, or drops them when the queue is full. The decoding thread takes the pieces from
// the queue and feeds them to the host; it alone touches the host and the CSV. Finish (the
// recording's thread again) lets that thread decode what is queued and joins it. The failure
// callback is called on the decoding thread.

#include "decode/client.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace record {

struct TDecodingSetup {
    std::vector<decode::TStackedDecoder> Stack;
    std::string HostProgram;
    std::uint64_t SampleRateHz = 0;
    double MsPerSample = 0;
    std::string Annotations; // the CSV's file; empty: standard output
    // How long the host may neither take samples nor answer before it is taken to hang.
    std::chrono::milliseconds HangLimit{10000};
    // The samples the queue holds at most; beyond them a piece is dropped.
    std::uint64_t QueueSamples = std::uint64_t{1} << 23;
};

struct TDecodingEnd {
    bool Failed = false;
    std::uint64_t Undecoded = 0; // samples dropped because the decoder did not keep up
};

class TDecoding {
public:
    // Called once, with one line (without the program's name), when the decoding fails: the
    // decoder's or host's error, or the CSV that cannot be written. Nothing more is decoded then.
    using TFailed = std::function<void(const std::string& line)>;

    // Opens the CSV's file and writes its header; throws std::runtime_error with a line that
    // names the file when it cannot.
    TDecoding(TDecodingSetup setup, TFailed failed);
    ~TDecoding();
    TDecoding(const TDecoding&) = delete;
    TDecoding& operator=(const TDecoding&) = delete;

    // The recording's next samples, 0 or 1 each.
    void Add(std::span<const double> levels);
    // Decodes what is queued and ends the decoding; the CSV is then complete.
    TDecodingEnd Finish();

private:
    // Samples one after the other from the recording's sample Offset, packed 8 a byte.
    struct TPiece {
        std::uint64_t Offset = 0;
        std::uint64_t Count = 0;
        std::vector<std::uint8_t> Packed;
    };

    void Run();
    // The next piece, once there is one; none once the queue is empty and closing.
    std::optional<TPiece> Next();
    void Decode(const TPiece& piece);
    void Write(const std::vector<decode::TAnnotation>& annotations);
    std::string CsvName() const;

    TDecodingSetup setup_;
    TFailed onFailed_;
    decode::THostProcess host_;
    std::FILE* csv_ = nullptr;
    // The decoding thread's: where the host's decoding began in the recording and where the next
    // piece must begin to go on with it.
    bool begun_ = false;
    std::uint64_t base_ = 0;
    std::uint64_t next_ = 0;

    std::mutex mutex_; // guards what follows
    std::condition_variable wake_;
    std::deque<TPiece> queue_;
    std::uint64_t queued_ = 0;  // samples in queue_
    std::uint64_t added_ = 0;   // samples of the recording so far
    std::uint64_t dropped_ = 0; // of them, those the queue had no room for
    bool failed_ = false;
    bool closing_ = false;

    std::thread thread_; // last: it starts once the rest is ready
};

} // namespace record
