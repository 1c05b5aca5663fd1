// The port on the in-memory device: line errors, breaks, flow control and the drain before a rate
// change, which a pseudo-terminal cannot show.

#include "serial/errors.h"
#include "serial/serial_port.h"
#include "support/memory_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace serial;
using namespace std::chrono_literals;

namespace {

struct TLineEvent {
    uint16_t Error;
    bool LineBreak;
    bool operator==(const TLineEvent&) const = default;
};

class MemoryPort : public ::testing::Test {
protected:
    void SetUp() override {
        Port.SetDeviceFactory([this] { return Device; });
        Port.SetComNumber(1);
        Port.SetAutoOpen(false);
        Port.SetInSize(65535);
        Port.OnTriggerLineError = [this](TSerialPort*, uint16_t Error, bool LineBreak) {
            LineEvents.push_back({Error, LineBreak});
        };
    }

    bool PumpUntil(const std::function<bool()>& Done, std::chrono::milliseconds Timeout = 3000ms) {
        return Loop.ProcessUntil(Done, Timeout);
    }

    uint16_t ArmLineWatch() {
        const uint16_t Watch = Port.AddStatusWatch(2);
        Port.ArmStatusWatch(Watch, 15, true);
        return Watch;
    }

    std::shared_ptr<test_support::TMemoryDevice> Device =
        std::make_shared<test_support::TMemoryDevice>();
    TPlainMessageLoop Loop;
    TSerialPort Port{&Loop};
    std::vector<TLineEvent> LineEvents;
};

struct TLineCase {
    const char* Name;
    uint16_t Bits;
    TLineEvent Expected;
};

class LineErrors : public MemoryPort, public ::testing::WithParamInterface<TLineCase> {};

TEST_P(LineErrors, ReachTheHandlerAsOneCode) {
    Port.SetOpen(true);
    ArmLineWatch();
    Device->InjectErrors(GetParam().Bits);
    ASSERT_TRUE(PumpUntil([&] { return !LineEvents.empty(); }));
    Loop.ProcessFor(150ms);
    EXPECT_EQ(LineEvents, std::vector<TLineEvent>{GetParam().Expected});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineErrors,
    ::testing::Values(TLineCase{"Framing", leFraming, {4, false}},
                      TLineCase{"Parity", leParity, {3, false}},
                      TLineCase{"Overrun", leOverrun, {2, false}},
                      TLineCase{"BreakAlone", leBreak, {0, true}},
                      TLineCase{"BreakWithFraming", leBreak | leFraming, {4, true}},
                      TLineCase{"OverrunBeforeFraming", leOverrun | leFraming, {2, false}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(MemoryPort, ReportingOverrunForgetsTheFramingErrorBesideIt) {
    Port.SetOpen(true);
    const uint16_t Watch = ArmLineWatch();
    Device->InjectErrors(leOverrun | leFraming);
    ASSERT_TRUE(PumpUntil([&] { return LineEvents.size() == 1; }));
    Port.ArmStatusWatch(Watch, 4, true); // framing only
    Loop.ProcessFor(200ms);
    EXPECT_EQ(LineEvents.size(), 1u);
}

TEST_F(MemoryPort, ReceiveQueueOverflowAloneDoesNotFireAWatchArmedWith15) {
    Port.SetOpen(true);
    ArmLineWatch();
    Device->InjectErrors(leOverflow);
    Loop.ProcessFor(300ms);
    EXPECT_TRUE(LineEvents.empty());
}

TEST_F(MemoryPort, AWatchFiresOncePerArming) {
    Port.SetOpen(true);
    const uint16_t Watch = ArmLineWatch();
    Device->InjectErrors(leFraming);
    ASSERT_TRUE(PumpUntil([&] { return LineEvents.size() == 1; }));
    Device->InjectErrors(leFraming);
    Loop.ProcessFor(200ms);
    EXPECT_EQ(LineEvents.size(), 1u);
    Port.ArmStatusWatch(Watch, 15, true);
    ASSERT_TRUE(PumpUntil([&] { return LineEvents.size() == 2; }));
}

TEST_F(MemoryPort, QueuingOutputKeepsLineErrorsNotYetReported) {
    Port.SetOpen(true);
    Device->InjectErrors(leFraming);
    Loop.ProcessFor(150ms); // the dispatcher has taken the error, no watch is armed yet
    Port.SendString("x");
    ArmLineWatch();
    ASSERT_TRUE(PumpUntil([&] { return !LineEvents.empty(); }));
    EXPECT_EQ(LineEvents[0], (TLineEvent{4, false}));
}

TEST_F(MemoryPort, WatchesAndHandlesFollowTheirKinds) {
    Port.SetOpen(true);
    EXPECT_EQ(Port.AddStatusWatch(2), 10);
    EXPECT_EQ(Port.AddStatusWatch(0), 16);
    EXPECT_THROW(Port.AddStatusWatch(6), EBadArgument);
    EXPECT_THROW(Port.ArmStatusWatch(99, 1, true), EBadTriggerHandle);
    EXPECT_THROW(Port.RemoveStatusWatch(99), EBadTriggerHandle);
    Port.RemoveStatusWatch(10);
    EXPECT_THROW(Port.ArmStatusWatch(10, 15, true), EBadTriggerHandle);
}

TEST_F(MemoryPort, ModemAndOutputWatchesFireOnTheirConditions) {
    std::vector<std::string> Fired;
    Port.OnTriggerModemStatus = [&](TSerialPort*) { Fired.push_back("modem"); };
    Port.OnTriggerOutbuffUsed = [&](TSerialPort*) { Fired.push_back("used"); };
    Port.OnTriggerOutSent = [&](TSerialPort*) { Fired.push_back("sent"); };
    Port.SetOpen(true);
    Device->StallWrites(true);
    const uint16_t Modem = Port.AddStatusWatch(skModem);
    const uint16_t Used = Port.AddStatusWatch(skOutUsed);
    const uint16_t Sent = Port.AddStatusWatch(skOutSent);
    Port.ArmStatusWatch(Modem, msCTS, true);
    Port.SendString("abc");
    Port.ArmStatusWatch(Used, 0, true); // fires once the output has drained
    Loop.ProcessFor(150ms);
    EXPECT_TRUE(Fired.empty());

    Port.ArmStatusWatch(Sent, 0, true);
    ASSERT_TRUE(PumpUntil([&] { return Fired.size() == 1; }));
    Device->SetModemLines(msCTS | msDSR);
    ASSERT_TRUE(PumpUntil([&] { return Fired.size() == 2; }));
    Device->StallWrites(false);
    ASSERT_TRUE(PumpUntil([&] { return Fired.size() == 3; }));
    EXPECT_EQ(Fired, (std::vector<std::string>{"sent", "modem", "used"}));
}

// A steady stream, as the recorder's device sends it: 23 bytes every 2 ms.
class TStreamFeeder {
public:
    explicit TStreamFeeder(test_support::TMemoryDevice& Device)
        : FThread([this, &Device] {
              while (!FStop) {
                  Device.Feed(std::vector<uint8_t>(23, 0x55));
                  Fed += 23;
                  std::this_thread::sleep_for(2ms);
              }
          }) {}
    ~TStreamFeeder() { Stop(); }
    void Stop() {
        FStop = true;
        if (FThread.joinable())
            FThread.join();
    }
    std::atomic<uint64_t> Fed{0};

private:
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

TEST_F(MemoryPort, ModemLineChangesAreSeenWithinAPassAndAPaceWhileAStreamFlows) {
    // The port reads a stream in batches without waiting for device events; an event that comes
    // meanwhile must still be seen within the pass length and the pace of its last delivery.
    uint64_t Received = 0;
    Port.OnTriggerAvail = [&](TSerialPort* CP, uint16_t Count) {
        for (uint16_t I = 0; I < Count; ++I)
            CP->ReadChar();
        Received += Count;
    };
    std::optional<std::chrono::steady_clock::time_point> Seen;
    Port.OnTriggerModemStatus = [&](TSerialPort*) { Seen = std::chrono::steady_clock::now(); };
    Port.SetOpen(true);
    const uint16_t Watch = Port.AddStatusWatch(skModem);
    TStreamFeeder Feeder(*Device);
    Loop.ProcessFor(200ms);
    ASSERT_GT(Received, 0u);
    std::vector<double> Delays;
    uint8_t Lines = 0;
    for (int Change = 0; Change < 40; ++Change) {
        Port.ArmStatusWatch(Watch, msCTS, true);
        // Changes fall at every point of a pass.
        Loop.ProcessFor(std::chrono::milliseconds(5 + Change * 11 % 50));
        Seen.reset();
        Lines ^= msCTS;
        const auto Changed = std::chrono::steady_clock::now();
        Device->SetModemLines(Lines);
        ASSERT_TRUE(PumpUntil([&] { return Seen.has_value(); }, 1000ms)) << "change " << Change;
        Delays.push_back(std::chrono::duration<double, std::milli>(*Seen - Changed).count());
    }
    Feeder.Stop();
    std::string Listed;
    for (double D : Delays)
        Listed += " " + std::to_string(static_cast<int>(D));
    std::sort(Delays.begin(), Delays.end());
    // Nine changes in ten: a scheduler that is late now and then under load must not decide.
    EXPECT_LE(Delays[Delays.size() * 9 / 10], double((PassLength + AvailPace).count()))
        << "delays in ms:" << Listed;
    EXPECT_TRUE(PumpUntil([&] { return Received == Feeder.Fed; }))
        << Received << " of " << Feeder.Fed;
}

TEST_F(MemoryPort, AStopOutsideAnyHandlerClosesAtOnceWhileAStreamFlows) {
    // As a click does: between two deliveries the window thread stops, and starts again at once.
    // The start must reach the device with its command, and its watch must be armed.
    uint64_t Received = 0;
    Port.OnTriggerAvail = [&](TSerialPort* CP, uint16_t Count) {
        for (uint16_t I = 0; I < Count; ++I)
            CP->ReadChar();
        Received += Count;
    };
    Port.SetOpen(true);
    TStreamFeeder Feeder(*Device);
    for (int Cycle = 0; Cycle < 10; ++Cycle) {
        const uint64_t Before = Received;
        ASSERT_TRUE(PumpUntil([&] { return Received > Before; })) << "cycle " << Cycle;
        Port.SetOpen(false);
        EXPECT_EQ(Port.State(), psClosed) << "cycle " << Cycle;
        EXPECT_FALSE(Device->IsOpen()) << "cycle " << Cycle;
        Port.SetOpen(true);
        ASSERT_TRUE(Port.Open()) << "cycle " << Cycle;
        EXPECT_NE(Port.AddStatusWatch(skLineError), 0) << "cycle " << Cycle;
        const std::string Command = "RP " + std::to_string(Cycle) + "\r";
        Port.SendString(Command);
        const auto Sent = [&] {
            const auto Line = Device->Written();
            return std::string(Line.begin(), Line.end()).ends_with(Command);
        };
        EXPECT_TRUE(PumpUntil(Sent)) << "cycle " << Cycle;
    }
}

TEST_F(MemoryPort, BytesTheDeviceStillHoldsCountAsWaiting) {
    // Nobody takes the bytes: the dispatch buffer fills, and the rest stays in the device's queue.
    Port.SetOpen(true);
    Device->Feed(std::vector<uint8_t>(DispatchBufferSize + 100, 0x55));
    ASSERT_TRUE(PumpUntil([&] { return Port.InBuffUsed() == DispatchBufferSize; }))
        << Port.InBuffUsed();
    EXPECT_EQ(Port.ReceivedWaiting(), DispatchBufferSize + 100);
    Port.SetOpen(false);
    EXPECT_EQ(Port.ReceivedWaiting(), 0u);
}

TEST_F(MemoryPort, WaitForTextEndsByThePortsClock) {
    uint32_t Now = 0;
    Port.SetClock([&Now] { return Now += TickMs; }); // every look is one tick later
    Port.SetOpen(true);
    const auto Start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Port.WaitForText("never", 200, false, false));
    EXPECT_LT(std::chrono::steady_clock::now() - Start, 5s) << "not 11 s of real time";
    EXPECT_GE(Now, 201 * TickMs);
}

TEST_F(MemoryPort, WaitStartedJustBeforeA32BitMillisecondCountWrapsLastsItsTicks) {
    // The handshake's wait processes no messages: one that ran on would freeze the window.
    const uint64_t Start = (uint64_t{1} << 32) - 100;
    uint64_t Now = Start;
    Port.SetClock([&Now, Start] {
        if (Now - Start > 10000)
            throw std::runtime_error("the wait ran on past 10 s of the port's clock");
        return Now += 5;
    });
    Port.SetOpen(true);
    bool Found = true;
    ASSERT_NO_THROW(Found = Port.WaitForText("never", 10, false, false));
    EXPECT_FALSE(Found);
    EXPECT_GT(Now - Start, 10u * TickMs);
    EXPECT_LE(Now - Start, 11u * TickMs + 5);
}

double ProcessCpuMs() {
    timespec T{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
    return double(T.tv_sec) * 1e3 + double(T.tv_nsec) / 1e6;
}

TEST_F(MemoryPort, RemovingHandleOneStopsAvailDeliveriesAndLeavesTheThreadsAsleep) {
    int Avails = 0;
    Port.OnTriggerAvail = [&](TSerialPort*, uint16_t) { ++Avails; };
    Port.SetOpen(true);
    Port.RemoveStatusWatch(1);
    Device->Feed({1, 2, 3});
    Loop.ProcessFor(200ms);
    EXPECT_EQ(Avails, 0);
    // The unread bytes wait for a threshold: until one comes there is nothing to do.
    const double Before = ProcessCpuMs();
    std::this_thread::sleep_for(1s);
    const double Spent = ProcessCpuMs() - Before;
    EXPECT_LT(Spent, 25.0) << "ms of CPU in a second";
    EXPECT_EQ(Port.InBuffUsed(), 3u);
}

TEST_F(MemoryPort, ABatchThatFillsTheWholeDispatchBufferIsStillOffered) {
    std::vector<uint16_t> Avails;
    std::size_t Taken = 0;
    Port.OnTriggerAvail = [&](TSerialPort* CP, uint16_t Count) {
        Avails.push_back(Count);
        for (int I = 0; I < Count; ++I, ++Taken)
            EXPECT_EQ(CP->ReadChar(), static_cast<uint8_t>(Taken % 251));
    };
    Port.SetOpen(true);
    std::vector<uint8_t> Stream(100 + DispatchBufferSize);
    for (std::size_t I = 0; I < Stream.size(); ++I)
        Stream[I] = static_cast<uint8_t>(I % 251);
    Device->Feed({Stream.begin(), Stream.begin() + 100});
    ASSERT_TRUE(PumpUntil([&] { return Taken == 100; }));
    // The write position comes back to where the last delivery left it.
    Device->Feed({Stream.begin() + 100, Stream.end()});
    ASSERT_TRUE(PumpUntil([&] { return Taken == Stream.size(); }));
    EXPECT_EQ(Avails, (std::vector<uint16_t>{100, static_cast<uint16_t>(DispatchBufferSize)}));
}

TEST_F(MemoryPort, ClosingFromInsideALineErrorHandlerReturnsAndReopensAfterTheRelease) {
    int Calls = 0;
    Port.OnTriggerLineError = [&](TSerialPort* CP, uint16_t, bool) {
        ++Calls;
        CP->SetOpen(false);
        EXPECT_FALSE(CP->Open());
        CP->SetOpen(true);
    };
    Port.OnTriggerAvail = [&](TSerialPort*, uint16_t) { ADD_FAILURE() << "event after close"; };
    Port.SetOpen(true);
    ArmLineWatch();
    Device->InjectErrors(leParity);
    ASSERT_TRUE(PumpUntil([&] { return Calls == 1; }));
    ASSERT_TRUE(PumpUntil([&] { return Port.State() == psOpen; }));
    EXPECT_TRUE(Port.Open());
    EXPECT_TRUE(Device->IsOpen());
    EXPECT_EQ(Calls, 1);
}

TEST_F(MemoryPort, VanishedDeviceIsReportedOnce) {
    std::vector<int> Lost;
    Port.OnDeviceLost = [&](TSerialPort*, int Code) { Lost.push_back(Code); };
    Port.SetOpen(true);
    Device->HangUp();
    ASSERT_TRUE(PumpUntil([&] { return !Lost.empty(); }));
    Loop.ProcessFor(200ms);
    EXPECT_EQ(Lost.size(), 1u);
}

struct TFlowCase {
    const char* Name;
    THWFlowOptionSet Hardware;
    TSWFlowOptions Software;
    uint16_t Full, Resume;
};

class FlowMarks : public MemoryPort, public ::testing::WithParamInterface<TFlowCase> {};

TEST_P(FlowMarks, AreDerivedFromTheReceiveQueueSize) {
    Port.SetOpen(true);
    Port.SetHWFlowOptions(GetParam().Hardware);
    Port.SetSWFlowOptions(GetParam().Software);
    EXPECT_EQ(Port.BufferFull(), GetParam().Full);
    EXPECT_EQ(Port.BufferResume(), GetParam().Resume);
    const TDeviceSettings S = Device->SettingsWrites().back().Settings;
    EXPECT_EQ(S.XoffLim, 65535 - GetParam().Full);
    EXPECT_EQ(S.XonLim, GetParam().Resume);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FlowMarks,
    ::testing::Values(TFlowCase{"Hardware", {hwfUseRTS, hwfRequireCTS}, swfNone, 58981, 6553},
                      TFlowCase{"Software", {}, swfBoth, 49151, 16383}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(MemoryPort, HardwareFlowControlDrivesTheLinesItTakes) {
    Port.SetOpen(true);
    Port.SetHWFlowOptions({hwfUseRTS, hwfRequireCTS});
    const TDeviceSettings S = Device->SettingsWrites().back().Settings;
    EXPECT_EQ(S.RtsControl, lcHandshake);
    EXPECT_TRUE(S.OutxCtsFlow);
    EXPECT_EQ(S.DtrControl, lcEnable);
    Port.SetRTS(false);
    EXPECT_TRUE(Port.RTS()) << "RTS belongs to the flow control";
    Port.SetDTR(false);
    EXPECT_FALSE(Port.DTR());
}

TEST_F(MemoryPort, FlowMarksBeyondTheQueueGivenAtOpenAreABadArgument) {
    Port.SetInSize(100);
    Port.SetOpen(true);
    Port.SetInSize(1000); // the device is asked again; the marks are checked against 100
    Port.SetBufferFull(500);
    EXPECT_THROW(Port.SetSWFlowOptions(swfReceive), EBadArgument);
    EXPECT_EQ(Port.SWFlowOptions(), swfNone) << "a failed change keeps the old options";
    EXPECT_EQ(Port.BufferResume(), 250) << "while the derived mark has changed";
}

struct TLineSettingsCase {
    TParity Parity;
    uint16_t DataBits, StopBits;
    uint8_t ParityCode, ByteSize;
    TStopBitsCode StopCode;
};

class LineSettings : public MemoryPort, public ::testing::WithParamInterface<TLineSettingsCase> {};

TEST_P(LineSettings, ReachTheDeviceSettingsBlock) {
    const auto& C = GetParam();
    Port.SetBaud(57600);
    Port.SetParity(C.Parity);
    Port.SetDataBits(C.DataBits);
    Port.SetStopBits(C.StopBits);
    Port.SetOpen(true);
    TDeviceSettings S = Device->SettingsWrites().back().Settings;
    EXPECT_EQ(S.BaudRate, 57600);
    EXPECT_EQ(S.Parity, C.ParityCode);
    EXPECT_EQ(S.ByteSize, C.ByteSize);
    EXPECT_EQ(S.StopBits, C.StopCode);
    EXPECT_TRUE(S.Binary);
    EXPECT_FALSE(S.ParityCheck);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineSettings,
    ::testing::Values(TLineSettingsCase{pNone, 8, 1, 0, 8, sbOne},
                      TLineSettingsCase{pEven, 7, 2, 2, 7, sbTwo},
                      TLineSettingsCase{pSpace, 8, 0, 4, 8, sbOne}, // below 1 counts as 1
                      TLineSettingsCase{pMark, 8, 7, 3, 8, sbTwo},  // above 3 counts as 2
                      TLineSettingsCase{pOdd, 5, 1, 1, 5, sbOneAndHalf}));

// Where bytes queued before a change of rate wait while the line is busy: the port's own output
// ring (the device takes nothing) or the device's transmit queue (the device took them all).
struct TDrainCase {
    const char* Name;
    void (test_support::TMemoryDevice::*Hold)(bool);
    uint32_t InDevice;
};

class RateChange : public MemoryPort, public ::testing::WithParamInterface<TDrainCase> {};

TEST_P(RateChange, WaitsUntilQueuedOutputIsSent) {
    Port.SetBaud(115200);
    Port.SetOpen(true);
    ((*Device).*GetParam().Hold)(true);
    const std::string Block(3000, 'd');
    Port.SendString(Block);
    ASSERT_TRUE(PumpUntil([&] { return Device->OutQueue() == int(GetParam().InDevice); }));
    EXPECT_EQ(Port.OutputPending(), Block.size());
    std::thread Line([&] {
        std::this_thread::sleep_for(300ms);
        ((*Device).*GetParam().Hold)(false);
    });
    const auto Start = std::chrono::steady_clock::now();
    Port.SetBaud(9600);
    const auto Elapsed = std::chrono::steady_clock::now() - Start;
    Line.join();
    EXPECT_GE(Elapsed, 290ms);
    const auto Last = Device->SettingsWrites().back();
    EXPECT_EQ(Last.Settings.BaudRate, 9600);
    EXPECT_EQ(Last.WrittenBefore, Block.size()) << "all queued bytes left at the old rate";
}

INSTANTIATE_TEST_SUITE_P(
    Queues, RateChange,
    ::testing::Values(TDrainCase{"InTheOutputRing", &test_support::TMemoryDevice::StallWrites, 0},
                      TDrainCase{"InTheDevicesTransmitQueue",
                                 &test_support::TMemoryDevice::HoldTransmitQueue, 3000}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(MemoryPort, OutputBufferTooSmallQueuesNothing) {
    Port.SetOutSize(8);
    Port.SetOpen(true);
    Device->StallWrites(true);
    Port.SendString("12345");
    EXPECT_THROW(Port.SendString("6789"), EOutputBufferTooSmall);
    EXPECT_EQ(Port.OutputPending(), 5u);
    Port.SendString("678");
    EXPECT_EQ(Port.OutputPending(), 8u);
    Device->StallWrites(false);
    ASSERT_TRUE(PumpUntil([&] { return Port.OutputPending() == 0; }));
    const auto Sent = Device->Written();
    EXPECT_EQ(std::string(Sent.begin(), Sent.end()), "12345678");
}

TEST_F(MemoryPort, OutputThatWrapsAroundTheRingGoesOutInOrder) {
    Port.SetOutSize(8);
    Port.SetOpen(true);
    std::string Expected;
    for (char C = 'a'; C <= 'z'; C += 3) {
        const std::string Piece{C, static_cast<char>(C + 1), static_cast<char>(C + 2)};
        ASSERT_TRUE(PumpUntil([&] { return Port.OutputPending() <= 5; }));
        Port.SendString(Piece);
        Expected += Piece;
    }
    ASSERT_TRUE(PumpUntil([&] { return Port.OutputPending() == 0; }));
    const auto Sent = Device->Written();
    EXPECT_EQ(std::string(Sent.begin(), Sent.end()), Expected);
}

TEST_F(MemoryPort, ClosingDiscardsUnsentOutput) {
    Port.SetOpen(true);
    Device->StallWrites(true);
    Port.SendString("never");
    Port.SetOpen(false);
    Device->StallWrites(false);
    EXPECT_TRUE(Device->Written().empty());
    EXPECT_EQ(Port.OutputPending(), 0u);
}

struct TRefusalCase {
    const char* Name;
    int Errno;
    std::function<bool(const std::exception&)> IsClass;
};

template <class T> std::function<bool(const std::exception&)> Is() {
    return [](const std::exception& E) { return dynamic_cast<const T*>(&E) != nullptr; };
}

class RefusedOpen : public MemoryPort, public ::testing::WithParamInterface<TRefusalCase> {};

TEST_P(RefusedOpen, RaisesTheDevicesFailureWithItsText) {
    const TDeviceError Error = DeviceError(GetParam().Errno, "/dev/ttyUSB7", ecDeviceReadError);
    Device->RefuseOpen(Error);
    try {
        Port.SetOpen(true);
        FAIL() << "open succeeded";
    } catch (const std::exception& E) {
        EXPECT_TRUE(GetParam().IsClass(E)) << typeid(E).name() << ": " << E.what();
        EXPECT_EQ(E.what(), Error.Text);
    }
    EXPECT_FALSE(Port.Open());
    EXPECT_EQ(Port.State(), psClosed);
}

INSTANTIATE_TEST_SUITE_P(
    Errno, RefusedOpen,
    ::testing::Values(TRefusalCase{"UserMayNotUseIt", EACCES, Is<EInOutError>()},
                      TRefusalCase{"HeldByAnotherProgram", EBUSY, Is<EAlreadyOpen>()},
                      TRefusalCase{"NoSuchPort", ENOENT, Is<EBadId>()}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(MemoryPort, OtherDeviceLayersCannotOpen) {
    Port.SetDeviceLayer(dlWinsock);
    EXPECT_EQ(Port.DeviceLayer(), dlWin32) << "only the local layer is accepted";
}

TEST_F(MemoryPort, PortNumberZeroAsksAndFailsWithoutAChoice) {
    Port.SetComNumber(0);
    Port.SetPortPrompt([](uint16_t&) { return false; });
    EXPECT_THROW(Port.SetOpen(true), ENoPortSelected);
    Port.SetPromptForPort(false);
    EXPECT_THROW(Port.SetOpen(true), ENoPortSelected);
    Port.SetPromptForPort(true);
    Port.SetPortPrompt([](uint16_t& N) {
        N = 4;
        return true;
    });
    Port.SetOpen(true);
    EXPECT_EQ(Port.ComNumber(), 4);
    EXPECT_TRUE(Port.Open());
}

TEST_F(MemoryPort, LoadingStoresOpenAndOpensWhenLoaded) {
    Port.BeginLoading();
    Port.SetOpen(true);
    EXPECT_FALSE(Device->IsOpen());
    Port.EndLoading();
    EXPECT_TRUE(Device->IsOpen());
    EXPECT_TRUE(Port.Open());
}

} // namespace
