// The recording thread: the bytes pushed reach the file in order, in blocks ended by time; a full
// disk, a lost folder and a stalled disk stop the writing once, leaving an unbroken file, and the
// pushing thread never waits for the disk.

#include "capture/reader.h"
#include "capture/recording_thread.h"
#include "recording_files.h"
#include "support/tmpfs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace capture;
using namespace capture_test;
using namespace std::chrono_literals;

namespace {

TRecordingThread::TLimits Limits(std::size_t queueBytes, std::chrono::milliseconds sync) {
    return TRecordingThread::TLimits{queueBytes, sync};
}

std::vector<std::uint8_t> AllBytes(const TRecordingReader& reader) {
    return reader.ReadBytes(0, static_cast<std::size_t>(reader.TotalSamples() / 8));
}

std::vector<std::uint8_t> Prefix(const std::vector<std::uint8_t>& bytes, std::size_t size) {
    return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)};
}

// Pushes `bytes` in pieces of `piece`, one every `pause`, until the writing stops or all went.
std::size_t PushUntilStopped(TRecordingThread& thread, const std::vector<std::uint8_t>& bytes,
                             std::size_t piece, std::chrono::milliseconds pause) {
    std::size_t at = 0;
    while (at < bytes.size() && thread.Push(bytes.data() + at, piece)) {
        at += piece;
        std::this_thread::sleep_for(pause);
    }
    return at;
}

// The error said once, naming the file, with `text` as its reason.
void ExpectErrorOnce(TRecordingThread& thread, const std::string& text) {
    EXPECT_TRUE(thread.Failed());
    EXPECT_EQ(thread.TakeError(), text + '\n' + thread.Path());
    EXPECT_EQ(thread.TakeError(), std::nullopt);
}

} // namespace

// Blocks are ended by time while the recording runs, so that the file opens with what came up to
// about a sync interval ago; closed, it holds every byte in order, with its index.
TEST(RecordingThread, BytesReachTheFileInOrderBlockByBlock) {
    TTempFolder folder;
    const std::string path = folder.Path("run.tlr");
    const std::vector<std::uint8_t> bytes = RandomBytes(40'000, 3);
    TRecordingThread thread(path, SampleHeader(), Limits(1 << 20, 20ms));
    thread.Push(bytes.data(), 25'000);
    // Open while being written: the blocks so far, found by scanning. The size the thread tells
    // follows its write, so it may come a moment after the bytes are in the file.
    std::vector<std::uint8_t> seen;
    for (int tries = 0; tries < 500 && (seen.size() < 25'000 || thread.FileSize() < 25'000);
         ++tries) {
        std::this_thread::sleep_for(10ms);
        seen = AllBytes(TRecordingReader(path));
    }
    EXPECT_EQ(seen, Prefix(bytes, 25'000));
    EXPECT_GE(thread.FileSize(), 25'000u);
    for (std::size_t at = 25'000; at < bytes.size(); at += 1000) {
        EXPECT_TRUE(thread.Push(bytes.data() + at, 1000));
        std::this_thread::sleep_for(1ms);
    }
    thread.Close();
    EXPECT_EQ(thread.TakeError(), std::nullopt);
    const TRecordingReader reader(path);
    EXPECT_TRUE(reader.UsedIndex());
    EXPECT_GT(reader.Blocks().size(), 1u);
    EXPECT_EQ(reader.Header(), SampleHeader());
    EXPECT_EQ(AllBytes(reader), bytes);
    const TBlockInfo& last = reader.Blocks().back();
    EXPECT_EQ(thread.FileSize(), last.Offset + kBlockHeaderSize + last.SampleCount / 8);
}

// A full disk (a small tmpfs) stops the writing: the error once, later pushes refused, and the file
// opens with an unbroken start of the bytes up to its last whole block.
TEST(RecordingThread, FullDiskStopsTheWritingOnce) {
    TTempFolder folder;
    const std::string disk = folder.Path("disk");
    std::filesystem::create_directory(disk);
    const test_support::TTmpfs mount(disk, 0, "128k");
    if (!mount.Mounted())
        GTEST_SKIP() << "no tmpfs may be mounted here";
    const std::string path = disk + "/full.tlr";
    const std::vector<std::uint8_t> bytes = RandomBytes(1 << 20, 5);
    TRecordingThread thread(path, SampleHeader(), Limits(1 << 20, 5ms));
    const std::size_t pushed = PushUntilStopped(thread, bytes, 1024, 1ms);
    ASSERT_LT(pushed, bytes.size());
    EXPECT_FALSE(thread.Push(bytes.data(), 10));
    thread.Close();
    ExpectErrorOnce(thread, "Disk is full");
    const TRecordingReader reader(path);
    EXPECT_FALSE(reader.UsedIndex());
    const std::vector<std::uint8_t> kept = AllBytes(reader);
    EXPECT_GT(kept.size(), 60'000u);
    EXPECT_EQ(kept, Prefix(bytes, kept.size()));
    EXPECT_EQ(std::filesystem::file_size(path), thread.FileSize());
}

// A folder removed under the recording: writes into the orphaned file would succeed unseen.
TEST(RecordingThread, LostFolderStopsTheWritingOnce) {
    TTempFolder folder;
    const std::string sub = folder.Path("sub");
    std::filesystem::create_directory(sub);
    const std::vector<std::uint8_t> bytes = RandomBytes(1 << 20, 7);
    TRecordingThread thread(sub + "/lost.tlr", SampleHeader(), Limits(1 << 20, 10ms));
    ASSERT_TRUE(thread.Push(bytes.data(), 1000));
    std::filesystem::remove_all(sub);
    EXPECT_LT(PushUntilStopped(thread, bytes, 100, 1ms), bytes.size());
    thread.Close();
    ExpectErrorOnce(thread, "File not found");
}

// The disk stalls (a pipe nobody reads): pushes return at once until the queue would pass its
// limit; that push stops the writing, and everything queued before it still reaches the file,
// closed with its index.
TEST(RecordingThread, StalledDiskOverflowsTheQueueWithoutBlocking) {
    TTempFolder folder;
    const std::string pipe = folder.Path("pipe.tlr");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int reading = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reading, 0);
    const std::size_t piece = 32 * 1024;
    const std::vector<std::uint8_t> bytes = RandomBytes(64 * piece, 9);
    // No sync while stalled: a pipe cannot be synced.
    TRecordingThread thread(pipe, SampleHeader(), Limits(8 * piece, 1h));
    std::size_t pushed = 0;
    const auto before = std::chrono::steady_clock::now();
    while (pushed < bytes.size() && thread.Push(bytes.data() + pushed, piece))
        pushed += piece;
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_LT(took, 2s) << "a push waited for the disk";
    // The writing thread waits in a block's write (a block is more than the pipe holds), with
    // what it took at its last wake-up (a queue at most); a full queue waits behind it.
    EXPECT_GE(pushed, 8 * piece);
    EXPECT_LE(pushed, 16 * piece);
    EXPECT_FALSE(thread.Push(bytes.data(), 10));
    ExpectErrorOnce(thread, kQueueOverflowText);

    std::string content;
    std::thread drain([&] {
        ::fcntl(reading, F_SETFL, 0);
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(reading, buffer, sizeof buffer);
            if (got <= 0)
                break;
            content.append(buffer, static_cast<std::size_t>(got));
        }
    });
    thread.Close();
    drain.join();
    ::close(reading);
    const std::string copy = folder.Path("copy.tlr");
    Write(copy, content);
    const TRecordingReader reader(copy);
    EXPECT_TRUE(reader.UsedIndex());
    EXPECT_EQ(AllBytes(reader), Prefix(bytes, pushed));
}
