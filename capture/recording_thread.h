#pragma once
// A recording file written on a thread of its own, so that a slow or stalled disk never holds up
// the thread that receives the device's bytes.
//
// Threading contract
// - Owner thread: the one that creates the object; it alone calls Push, TakeError, Close and the
//   destructor. Push never waits for the disk: it moves the bytes into a bounded queue under a
//   lock that the writing thread holds only to swap the queue out, never while it writes.
// - Writing thread: owns the TRecordingWriter from the constructor's return to Close. It takes
//   the queue whole, appends it, ends a block and syncs the file about once a SyncInterval, and
//   at Close writes what is left, the index and the trailer.
// - FileSize, Bytes and Failed are atomics, readable from any thread.
//
// The writing stops for good at the first write failure (a full disk, a lost folder) or when the
// queue would grow past its limit (the disk keeps up with the device no longer). Either way the
// file keeps an unbroken run of the device's bytes from the start: after a write failure up to its
// last whole block (the writer cuts the rest off), after an overflow up to the last byte queued
// before it, closed with its index. Later pushes are dropped. TakeError hands the error to the
// owner once.

#include "capture/format.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace capture {

class TRecordingWriter;

class TRecordingThread {
public:
    struct TLimits {
        // The bytes waiting for the disk at most: at the device's fastest, some ten minutes.
        std::size_t QueueBytes = 8 * 1024 * 1024;
        std::chrono::milliseconds SyncInterval{1000};
    };

    // Creates the file and writes its header on the calling thread, so that a file that cannot be
    // made throws files::EInOutError here, then starts the writing thread.
    TRecordingThread(const std::string& path, const THeader& header, TLimits limits);
    TRecordingThread(const std::string& path, const THeader& header)
        : TRecordingThread(path, header, TLimits{}) {}
    // Closes as Close does; an error then is lost.
    ~TRecordingThread();
    TRecordingThread(const TRecordingThread&) = delete;
    TRecordingThread& operator=(const TRecordingThread&) = delete;

    // Queues the device's bytes in the order received. False once the writing has stopped (the
    // bytes are dropped); the push that overflows the queue stops it.
    bool Push(const std::uint8_t* data, std::size_t size);
    // Writes everything queued, the index and the trailer, and ends the thread; a second call does
    // nothing. The error that stopped the writing stays with TakeError.
    void Close();
    // Why the writing stopped (the file and the reason), the first time it is asked after the
    // stop; nothing before the stop and at every later call.
    std::optional<std::string> TakeError();

    const std::string& Path() const { return path_; }
    // The file's size up to its last whole block (the index a close adds not counted), and the
    // device's bytes queued so far.
    std::uint64_t FileSize() const { return fileSize_.load(std::memory_order_relaxed); }
    std::uint64_t Bytes() const { return pushed_; }
    bool Failed() const { return failed_.load(std::memory_order_acquire); }

private:
    // `id`: the file's device and inode as created.
    void Run(std::pair<dev_t, ino_t> id);
    // Appends the chunks; false when the writer has failed.
    bool WriteChunks(const std::vector<std::vector<std::uint8_t>>& chunks);
    void Stop(std::string error);

    const std::string path_;
    const TLimits limits_;
    std::unique_ptr<TRecordingWriter> writer_;
    std::atomic<std::uint64_t> fileSize_{0};
    std::atomic<bool> failed_{false};
    std::uint64_t pushed_ = 0;
    bool errorTaken_ = false;

    std::mutex lock_;
    std::condition_variable wake_;
    // Under lock_: the chunks not yet taken, their bytes, the close asked for, the error.
    std::vector<std::vector<std::uint8_t>> queue_;
    std::size_t queuedBytes_ = 0;
    bool closing_ = false;
    std::string error_;

    std::thread thread_;
};

// The text of the stop when the disk fell behind the device.
inline constexpr const char* kQueueOverflowText = "The disk did not keep up with the device";

} // namespace capture
