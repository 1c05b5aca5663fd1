#include "capture/recording_thread.h"

#include "capture/writer.h"
#include "files/io_error.h"

#include <cerrno>
#include <utility>

#include <sys/stat.h>

namespace capture {

namespace {

// The file's identity, to notice it gone: its folder removed or renamed, the medium unplugged.
std::pair<dev_t, ino_t> FileId(const std::string& path) {
    struct stat status{};
    if (::stat(path.c_str(), &status) != 0)
        return {0, 0};
    return {status.st_dev, status.st_ino};
}

} // namespace

TRecordingThread::TRecordingThread(const std::string& path, const THeader& header,
                                   TLimits limits)
    : path_(path), limits_(limits), writer_(std::make_unique<TRecordingWriter>(path, header)) {
    fileSize_ = writer_->FileSize();
    // Taken before anything else can happen to the file.
    const std::pair<dev_t, ino_t> id = FileId(path_);
    thread_ = std::thread([this, id] { Run(id); });
}

TRecordingThread::~TRecordingThread() {
    Close();
}

bool TRecordingThread::Push(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return !Failed();
    {
        const std::lock_guard guard(lock_);
        if (!error_.empty() || closing_)
            return false;
        if (queuedBytes_ + size > limits_.QueueBytes) {
            // What is queued still goes to the file: it runs on unbroken up to this push.
            error_ = std::string(kQueueOverflowText) + '\n' + path_;
            failed_.store(true, std::memory_order_release);
            closing_ = true;
        } else {
            queue_.emplace_back(data, data + size);
            queuedBytes_ += size;
            pushed_ += size;
        }
    }
    wake_.notify_one();
    return !Failed();
}

void TRecordingThread::Close() {
    if (!thread_.joinable())
        return;
    {
        const std::lock_guard guard(lock_);
        closing_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

std::optional<std::string> TRecordingThread::TakeError() {
    if (errorTaken_ || !Failed())
        return std::nullopt;
    errorTaken_ = true;
    const std::lock_guard guard(lock_);
    return error_;
}

void TRecordingThread::Stop(std::string error) {
    const std::lock_guard guard(lock_);
    if (error_.empty())
        error_ = std::move(error);
    queue_.clear();
    queuedBytes_ = 0;
    failed_.store(true, std::memory_order_release);
}

bool TRecordingThread::WriteChunks(const std::vector<std::vector<std::uint8_t>>& chunks) {
    try {
        for (const std::vector<std::uint8_t>& chunk : chunks)
            writer_->Append(chunk.data(), chunk.size());
        return true;
    } catch (const files::EInOutError& error) {
        Stop(error.what());
        fileSize_.store(writer_->FileSize(), std::memory_order_relaxed);
        return false;
    }
}

void TRecordingThread::Run(std::pair<dev_t, ino_t> id) {
    auto due = std::chrono::steady_clock::now() + limits_.SyncInterval;
    std::vector<std::vector<std::uint8_t>> chunks;
    bool writing = true;
    for (;;) {
        bool closing = false;
        {
            std::unique_lock guard(lock_);
            wake_.wait_until(guard, due, [this] { return closing_ || !queue_.empty(); });
            chunks.swap(queue_);
            queuedBytes_ = 0;
            closing = closing_;
        }
        if (writing)
            writing = WriteChunks(chunks);
        chunks.clear();
        if (closing)
            break;
        if (!writing || std::chrono::steady_clock::now() < due)
            continue;
        due = std::chrono::steady_clock::now() + limits_.SyncInterval;
        try {
            writer_->EndBlock();
            writer_->Sync();
        } catch (const files::EInOutError& error) {
            Stop(error.what());
            writing = false;
        }
        fileSize_.store(writer_->FileSize(), std::memory_order_relaxed);
        // Writes into a file whose folder went on succeed unseen: nobody could open it again.
        if (writing && FileId(path_) != id) {
            Stop(files::EInOutError(files::FileErrorText(ENOENT), path_).what());
            writing = false;
        }
    }
    try {
        if (writing)
            writer_->Close();
    } catch (const files::EInOutError& error) {
        Stop(error.what());
    }
    fileSize_.store(writer_->FileSize(), std::memory_order_relaxed);
    writer_.reset();
}

} // namespace capture
