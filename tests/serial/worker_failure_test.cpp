// A worker thread whose device call throws: the failure reaches the application's error display on
// the window thread, only that thread ends, and the port still closes and opens again.

#include "serial/serial_port.h"
#include "support/memory_device.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

using namespace serial;
using namespace std::chrono_literals;

namespace {

// The plain loop, noting what reached the error display and on which thread.
class TReportingLoop final : public TMessageLoop {
public:
    struct TReport {
        std::string What;
        std::thread::id Thread;
    };

    std::unique_ptr<TNotifyWindow> CreateNotifyWindow(TWindowProc Proc) override {
        return FLoop.CreateNotifyWindow(std::move(Proc));
    }
    void ProcessMessages() override { FLoop.ProcessMessages(); }
    bool Terminating() const override { return false; }
    void HandleException(std::exception_ptr Error) override {
        std::string What;
        try {
            std::rethrow_exception(Error);
        } catch (const std::exception& E) {
            What = E.what();
        }
        std::lock_guard Lock(FLock);
        FReports.push_back({What, std::this_thread::get_id()});
    }

    std::vector<TReport> Reports() {
        std::lock_guard Lock(FLock);
        return FReports;
    }
    bool ProcessUntil(const std::function<bool()>& Done) { return FLoop.ProcessUntil(Done, 3s); }

private:
    TPlainMessageLoop FLoop;
    std::mutex FLock;
    std::vector<TReport> FReports;
};

class WorkerFailure : public ::testing::Test {
protected:
    void SetUp() override {
        Port.SetDeviceFactory([this] { return Device; });
        Port.SetComNumber(1);
        Port.SetAutoOpen(false);
        Port.OnTriggerAvail = [this](TSerialPort* CP, uint16_t Count) {
            for (int I = 0; I < Count; ++I)
                Received.push_back(static_cast<char>(CP->ReadChar()));
        };
    }

    bool SentOnLine(const std::string& Text) {
        const auto Line = Device->Written();
        return std::string(Line.begin(), Line.end()).ends_with(Text);
    }

    std::shared_ptr<test_support::TMemoryDevice> Device =
        std::make_shared<test_support::TMemoryDevice>();
    TReportingLoop Loop;
    TSerialPort Port{&Loop};
    std::string Received;
};

struct TFailureCase {
    const char* Name;
    test_support::TMemoryDevice::TCall Call;
    const char* What;
    bool Receives; // bytes from the device still reach the handler afterwards
    bool Sends;    // bytes queued afterwards still go out
};

class FailingThread : public WorkerFailure, public ::testing::WithParamInterface<TFailureCase> {};

TEST_P(FailingThread, IsShownOnTheWindowThreadAndEndsOnlyThatThread) {
    const auto& C = GetParam();
    Port.SetOpen(true);
    Device->ThrowFromNext(C.Call);
    // What makes the thread call the device again: the dispatch thread sleeps while nothing
    // arrives.
    if (C.Call == test_support::TMemoryDevice::TCall::Write)
        Port.SendChar('w');
    else
        Device->Feed({'-'});
    ASSERT_TRUE(Loop.ProcessUntil([&] { return !Loop.Reports().empty(); }));
    EXPECT_EQ(Loop.Reports()[0].What, C.What);
    EXPECT_EQ(Loop.Reports()[0].Thread, std::this_thread::get_id());

    if (C.Receives) {
        Device->Feed({'a', 'b'});
        EXPECT_TRUE(Loop.ProcessUntil([&] { return Received.ends_with("ab"); }));
    }
    if (C.Sends) {
        Port.SendString("out");
        EXPECT_TRUE(Loop.ProcessUntil([&] { return SentOnLine("out"); }));
    }

    Port.SetOpen(false);
    ASSERT_TRUE(Loop.ProcessUntil([&] { return Port.State() == psClosed; }));
    EXPECT_FALSE(Device->IsOpen());

    Port.SetOpen(true);
    Received.clear();
    Device->Feed({'c'});
    EXPECT_TRUE(Loop.ProcessUntil([&] { return Received == "c"; }));
    Port.SendString("again");
    EXPECT_TRUE(Loop.ProcessUntil([&] { return SentOnLine("again"); }));
    EXPECT_EQ(Loop.Reports().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Threads, FailingThread,
    ::testing::Values(TFailureCase{"ReceiveEvent", test_support::TMemoryDevice::TCall::WaitEvent,
                                   "memory device: WaitEvent failed", true, true},
                      TFailureCase{"Dispatch", test_support::TMemoryDevice::TCall::Read,
                                   "memory device: Read failed", false, true},
                      TFailureCase{"Transmit", test_support::TMemoryDevice::TCall::Write,
                                   "memory device: Write failed", true, false}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(WorkerFailure, DispatchThreadFailingWhileAHandlerRunsLeavesNoCloseWaitingForIt) {
    Port.OnTriggerAvail = [this](TSerialPort* CP, uint16_t Count) {
        Device->ThrowFromNext(test_support::TMemoryDevice::TCall::Read);
        // A byte for the dispatch thread to read while it waits for this handler.
        Device->Feed({'y'});
        std::this_thread::sleep_for(100ms);
        for (int I = 0; I < Count; ++I)
            Received.push_back(static_cast<char>(CP->ReadChar()));
    };
    Port.SetOpen(true);
    Device->Feed({'x'});
    ASSERT_TRUE(Loop.ProcessUntil([&] { return !Loop.Reports().empty(); }));
    EXPECT_EQ(Received, "x");

    Port.SetOpen(false);
    ASSERT_TRUE(Loop.ProcessUntil([&] { return Port.State() == psClosed; }));
    EXPECT_FALSE(Device->IsOpen());
}

} // namespace
