// Deliveries the dispatch thread gives up on: a window thread that does not answer for longer than
// the delivery wait, inside a handler or outside one, while a stream arrives at full speed. Every
// byte must reach the handlers exactly once and in order.

#include "support/pty_pair.h"

#include "serial/serial_port.h"
#include "support/memory_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

using namespace serial;
using namespace serial::test;
using namespace std::chrono_literals;

namespace {

// A byte stream no shift of which looks like itself: xorshift32, one byte of each state.
class TStream {
public:
    uint8_t Next() {
        FState ^= FState << 13;
        FState ^= FState >> 17;
        FState ^= FState << 5;
        return static_cast<uint8_t>(FState >> 24);
    }

private:
    uint32_t FState = 2463534242u;
};

// Writes the stream into the pty's master side as fast as the tty layer takes it.
class TStreamWriter {
public:
    explicit TStreamWriter(TPty& Pty)
        : FThread([this, &Pty] {
              TStream Stream;
              std::vector<uint8_t> Chunk(4096);
              std::size_t Pending = 0, Offset = 0;
              while (!FStop) {
                  if (Offset == Pending) {
                      for (auto& B : Chunk)
                          B = Stream.Next();
                      Pending = Chunk.size();
                      Offset = 0;
                  }
                  const ssize_t N = ::write(Pty.Master(), Chunk.data() + Offset, Pending - Offset);
                  if (N > 0) {
                      Offset += static_cast<std::size_t>(N);
                  } else {
                      pollfd P{Pty.Master(), POLLOUT, 0};
                      ::poll(&P, 1, 5);
                  }
              }
          }) {}
    ~TStreamWriter() {
        FStop = true;
        FThread.join();
    }

private:
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

// Checks what the handlers take against the stream, byte for byte.
struct TChecker {
    TStream Expected;
    uint64_t Taken = 0;
    uint64_t Wrong = 0;
    void Take(uint8_t Byte) {
        ++Taken;
        Wrong += Byte != Expected.Next();
    }
};

// The plain loop, counting what the dispatch thread posts.
class TCountingLoop final : public TMessageLoop {
public:
    std::unique_ptr<TNotifyWindow> CreateNotifyWindow(TWindowProc Proc) override {
        return std::make_unique<TCountingWindow>(*this, FLoop.CreateNotifyWindow(std::move(Proc)));
    }
    void ProcessMessages() override { FLoop.ProcessMessages(); }
    bool Terminating() const override { return false; }
    void HandleException(std::exception_ptr Error) override { FLoop.HandleException(Error); }

    bool ProcessUntil(const std::function<bool()>& Done, std::chrono::milliseconds Timeout) {
        return FLoop.ProcessUntil(Done, Timeout);
    }
    void ProcessFor(std::chrono::milliseconds Duration) { FLoop.ProcessFor(Duration); }
    void Enqueue(std::function<void()> Fn) { FLoop.Enqueue(std::move(Fn)); }
    std::vector<std::exception_ptr> TakeExceptions() { return FLoop.TakeExceptions(); }

    std::atomic<uint64_t> Posts{0};

private:
    class TCountingWindow final : public TNotifyWindow {
    public:
        TCountingWindow(TCountingLoop& Loop, std::unique_ptr<TNotifyWindow> Inner)
            : FLoop(Loop), FInner(std::move(Inner)) {}
        void Post(const TDispatchMessage& M) override {
            ++FLoop.Posts;
            FInner->Post(M);
        }

    private:
        TCountingLoop& FLoop;
        std::unique_ptr<TNotifyWindow> FInner;
    };

    TPlainMessageLoop FLoop;
};

class GivenUpDelivery : public ::testing::Test {
protected:
    void SetUp() override {
        Ini.Map(7, Pty.SlavePath());
        Port.SetComNumber(7);
        Port.SetAutoOpen(false);
    }

    void ExpectNoException() {
        for (const auto& E : Loop.TakeExceptions()) {
            try {
                std::rethrow_exception(E);
            } catch (const std::exception& Error) {
                ADD_FAILURE() << "a handler raised: " << Error.what();
            }
        }
    }

    TPortsIni Ini;
    TPty Pty;
    TCountingLoop Loop;
    TSerialPort Port{&Loop};
    TChecker Check;
};

// The window thread stalls for 3.5 s once inside a handler, half way through its bytes, and once
// outside any handler, as a long save would; the dispatch thread gives up after 3 s each time.
TEST_F(GivenUpDelivery, StallsLongerThanTheWaitLoseAndRepeatNoByte) {
    int Deliveries = 0;
    Port.OnTriggerAvail = [&](TSerialPort* CP, uint16_t Count) {
        ++Deliveries;
        const bool Stall = Deliveries == 5;
        for (uint16_t I = 0; I < Count; ++I) {
            if (Stall && I == Count / 2)
                std::this_thread::sleep_for(3500ms);
            Check.Take(CP->ReadChar());
        }
        if (Deliveries == 10) // the next one is posted while the window thread sleeps
            Loop.Enqueue([] { std::this_thread::sleep_for(3500ms); });
    };
    Port.SetOpen(true);
    TStreamWriter Writer(Pty);
    ASSERT_TRUE(Loop.ProcessUntil([&] { return Deliveries > 30; }, 20000ms));
    Port.SetOpen(false);
    EXPECT_EQ(Check.Wrong, 0u) << "of " << Check.Taken << " bytes taken";
    EXPECT_GT(Check.Taken, 16384u);
    ExpectNoException();
}

// With a wait far shorter than the handlers, nearly every delivery is given up on while its
// handler is taking bytes: the bytes it took before are consumed, those after come from the new
// read position, never a byte twice. Under ThreadSanitizer too.
TEST_F(GivenUpDelivery, HandlersStraddlingTheGiveUpTakeEachByteOnce) {
    Port.SetDeliveryWait(2ms);
    int Handled = 0;
    int GivenUpWhileRunning = 0;
    Port.OnTriggerAvail = [&](TSerialPort* CP, uint16_t Count) {
        ++Handled;
        const uint64_t PostsBefore = Loop.Posts;
        // The bytes spread evenly over four paces: the dispatch thread sleeps out one pace after
        // posting, waits the 2 ms and its 10 ms look, and gives up between two of them.
        const auto Start = std::chrono::steady_clock::now();
        const auto Pace =
            std::chrono::duration_cast<std::chrono::nanoseconds>(4 * AvailPace) / Count;
        for (uint16_t I = 0; I < Count; ++I) {
            Check.Take(CP->ReadChar());
            while (std::chrono::steady_clock::now() < Start + Pace * (I + 1)) {
            }
        }
        // The next delivery is posted only once this one is done with: before this handler has
        // returned, that means given up on.
        GivenUpWhileRunning += Loop.Posts > PostsBefore;
    };
    Port.SetOpen(true);
    TStreamWriter Writer(Pty);
    ASSERT_TRUE(Loop.ProcessUntil([&] { return Handled >= 60; }, 30000ms));
    Port.SetOpen(false);
    EXPECT_EQ(Check.Wrong, 0u) << "of " << Check.Taken << " bytes taken";
    EXPECT_GT(2 * GivenUpWhileRunning, Handled)
        << GivenUpWhileRunning << " of " << Handled << " handlers outlasted their delivery";
    ExpectNoException();
}

// A watch fires once per arming: its delivery still comes when the window thread answers late.
TEST_F(GivenUpDelivery, AStatusDeliveryGivenUpOnIsStillRaised) {
    auto Device = std::make_shared<test_support::TMemoryDevice>();
    Port.SetDeviceFactory([&] { return Device; });
    Port.SetDeliveryWait(20ms);
    int LineErrors = 0;
    Port.OnTriggerLineError = [&](TSerialPort*, uint16_t, bool) { ++LineErrors; };
    Port.SetOpen(true);
    Port.ArmStatusWatch(Port.AddStatusWatch(2), 15, true);
    Device->InjectErrors(leFraming);
    std::this_thread::sleep_for(200ms); // the window thread answers only now
    ASSERT_TRUE(Loop.ProcessUntil([&] { return LineErrors > 0; }, 3000ms));
    Loop.ProcessFor(100ms);
    EXPECT_EQ(LineErrors, 1);
    Port.SetOpen(false);
    ExpectNoException();
}

} // namespace
