// The port on a pseudo-terminal pair: the kernel's own tty layer at the other end.

#include "support/pty_pair.h"

#include "serial/errors.h"
#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <termios.h>

#include <thread>

using namespace serial;
using namespace serial::test;
using namespace std::chrono_literals;

namespace {

class PtyPort : public ::testing::Test {
protected:
    void SetUp() override {
        Ini.Map(7, Pty.SlavePath());
        Ini.Map(8, "/dev/talvir-no-such-device");
        Port.SetComNumber(7);
        Port.SetBaud(115200);
        Port.SetAutoOpen(false);
    }

    bool PumpUntil(const std::function<bool()>& Done, std::chrono::milliseconds Timeout = 3000ms) {
        return Loop.ProcessUntil(Done, Timeout);
    }

    // Records every avail delivery; the handler takes Take(count) bytes.
    void RecordAvail(std::function<int(uint16_t)> Take) {
        Port.OnTriggerAvail = [this, Take](TSerialPort* CP, uint16_t Count) {
            Avails.push_back(Count);
            for (int I = Take(Count); I > 0; --I)
                Taken.push_back(static_cast<char>(CP->ReadChar()));
        };
    }

    TPortsIni Ini;
    TPty Pty;
    TPlainMessageLoop Loop;
    TSerialPort Port{&Loop};
    std::vector<uint16_t> Avails;
    std::string Taken;
};

termios SlaveSettings(const TPty& Pty) {
    termios T;
    tcgetattr(Pty.Slave(), &T);
    return T;
}

TEST_F(PtyPort, OpenAppliesTheLineSettingsAndChangesThemWhileOpen) {
    Port.SetOpen(true);
    ASSERT_TRUE(Port.Open());
    termios T = SlaveSettings(Pty);
    EXPECT_EQ(cfgetospeed(&T), B115200);
    EXPECT_EQ(T.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(T.c_cflag & PARENB);
    EXPECT_FALSE(T.c_cflag & CSTOPB);

    // A pseudo-terminal is always 8 bits without parity; the rate and the stop bits it keeps.
    Port.SetStopBits(2);
    Port.SetBaud(9600);
    T = SlaveSettings(Pty);
    EXPECT_EQ(cfgetospeed(&T), B9600);
    EXPECT_TRUE(T.c_cflag & CSTOPB);
    EXPECT_FALSE(T.c_lflag & (ICANON | ECHO)) << "raw mode";

    try {
        Port.SetDataBits(7);
        FAIL() << "the pseudo-terminal accepted 7 data bits";
    } catch (const EInOutError& E) {
        EXPECT_EQ(E.ErrorCode(), EINVAL) << "the system's number and text: " << E.what();
    }
    EXPECT_TRUE(Port.Open()) << "a refused change leaves the port open";
    EXPECT_EQ(Port.DataBits(), 7);

    Port.SetOpen(false);
    T = SlaveSettings(Pty);
    EXPECT_NE(cfgetospeed(&T), B9600) << "settings from before the open are restored at close";
}

TEST_F(PtyPort, MissingDeviceIsBadIdAndLeavesThePortClosed) {
    Port.SetComNumber(8);
    for (int Attempt = 0; Attempt < 2; ++Attempt) {
        try {
            Port.SetOpen(true);
            FAIL() << "open succeeded";
        } catch (const EBadId& E) {
            EXPECT_EQ(E.ErrorCode(), -2001);
            EXPECT_STREQ(E.what(), "ie_BadId - Specified comport doesn't exist");
        }
        EXPECT_FALSE(Port.Open());
        EXPECT_EQ(Port.State(), psClosed);
    }
}

TEST_F(PtyPort, ADevicePathOpensThatDeviceWithoutThePortMapOrAPrompt) {
    Port.SetComNumber(0);
    EXPECT_THROW(Port.SetOpen(true), ENoPortSelected) << "no prompt is set";
    Port.SetDevicePath(Pty.SlavePath());
    Port.SetOpen(true);
    ASSERT_TRUE(Port.Open());
    Port.SendString("RP 10\r");
    EXPECT_EQ(Pty.Receive(6, 2000ms), "RP 10\r");
    Port.SetOpen(false);

    Port.SetDevicePath("/dev/talvir-no-such-device");
    Port.SetComNumber(7);
    EXPECT_THROW(Port.SetOpen(true), EBadId) << "the path wins over the port map's COM7";
}

TEST_F(PtyPort, DeviceHeldByAnotherOpenIsAlreadyOpen) {
    Port.SetOpen(true);
    TSerialPort Other(&Loop);
    Other.SetComNumber(7);
    EXPECT_THROW(Other.SetOpen(true), EAlreadyOpen);
    EXPECT_FALSE(Other.Open());
    Port.SetOpen(false);
    Other.SetOpen(true);
    EXPECT_TRUE(Other.Open()) << "the lock goes with the close";
}

TEST_F(PtyPort, ClosedPortWithoutAutoOpenRefusesOperationsButNotOutputPending) {
    EXPECT_THROW(Port.SendChar('x'), ECommNotOpen);
    EXPECT_THROW(Port.ReadChar(), ECommNotOpen);
    EXPECT_EQ(Port.OutputPending(), 0u);
    Port.RemoveStatusWatch(10); // ignored while closed
}

TEST_F(PtyPort, SendsAndReceivesBytes) {
    Port.SetOpen(true);
    Port.SendString("RP 1A\r");
    Port.SendChar('!');
    Port.SendString("");
    EXPECT_EQ(Pty.Receive(7, 2000ms), "RP 1A\r!");
    EXPECT_TRUE(PumpUntil([&] { return Port.OutputPending() == 0; }));

    Pty.Send("ok");
    ASSERT_TRUE(PumpUntil([&] { return Port.CharReady(); }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Port.InBuffUsed(), 2u);
    EXPECT_EQ(Port.ReadChar(), 'o');
    EXPECT_EQ(Port.InBuffUsed(), 1u);
    EXPECT_EQ(Port.ReadChar(), 'k');
    EXPECT_EQ(Port.InBuffUsed(), 0u);
    EXPECT_FALSE(Port.CharReady());
    EXPECT_THROW(Port.ReadChar(), EBufferIsEmpty);
}

TEST_F(PtyPort, WaitForTextFindsAPromptArrivingInPiecesAndLeavesWhatFollows) {
    Port.SetOpen(true);
    std::thread Device([&] {
        Pty.Send("junk\r");
        std::this_thread::sleep_for(80ms);
        Pty.Send("\n");
        std::this_thread::sleep_for(80ms);
        Pty.Send(">z");
    });
    const bool Found = Port.WaitForText("\r\n>", 10, false, false);
    Device.join();
    EXPECT_TRUE(Found);
    ASSERT_TRUE(PumpUntil([&] { return Port.CharReady(); }));
    EXPECT_EQ(Port.ReadChar(), 'z') << "bytes before the match are consumed, the one after stays";
    EXPECT_FALSE(Port.CharReady());
}

TEST_F(PtyPort, WaitForTextSeesArrivalsWhileADeliveryWaitsForTheWindowThread) {
    Port.OnTriggerAvail = [](TSerialPort*, uint16_t) {};
    Port.SetOpen(true);
    Pty.Send("x"); // its delivery waits for this thread, which is about to wait without pumping
    std::this_thread::sleep_for(100ms);
    std::thread Device([&] {
        std::this_thread::sleep_for(50ms);
        Pty.Send("\r\n>");
    });
    EXPECT_TRUE(Port.WaitForText("\r\n>", 10, false, false));
    Device.join();
}

TEST_F(PtyPort, WaitForTextTimesOutNoSoonerThanItsTicks) {
    Port.SetOpen(true);
    Pty.Send("\r\n");
    const auto Start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Port.WaitForText("\r\n>", 10, false, false));
    const auto Elapsed = std::chrono::steady_clock::now() - Start;
    EXPECT_GE(Elapsed, 550ms);
    EXPECT_LT(Elapsed, 1000ms);
}

struct TMatchCase {
    const char* Input;
    const char* Text;
    bool IgnoreCase;
    bool Found;
};

class WaitForTextMatching : public PtyPort, public ::testing::WithParamInterface<TMatchCase> {};

TEST_P(WaitForTextMatching, FindsTheTextWhereverItStarts) {
    Port.SetOpen(true);
    Pty.Send(GetParam().Input);
    EXPECT_EQ(Port.WaitForText(GetParam().Text, 4, false, GetParam().IgnoreCase), GetParam().Found);
}

INSTANTIATE_TEST_SUITE_P(Texts, WaitForTextMatching,
                         ::testing::Values(TMatchCase{"aaab", "aab", false, true}, // prefix repeats
                                           TMatchCase{"abababc", "ababc", false,
                                                      true}, // longer overlap
                                           TMatchCase{"rp 1a\r", "RP 1A\r", true, true},
                                           TMatchCase{"rp 1a\r", "RP 1A\r", false, false},
                                           TMatchCase{"aabx", "aab\r", false, false}));

TEST_F(PtyPort, WaitForTextWithEmptyTextReturnsAtOnceAndConsumesNothing) {
    Port.SetOpen(true);
    Pty.Send("q");
    ASSERT_TRUE(PumpUntil([&] { return Port.CharReady(); }));
    EXPECT_TRUE(Port.WaitForText("", 10, false, false));
    EXPECT_EQ(Port.ReadChar(), 'q');
}

TEST_F(PtyPort, ThreeBytesInOneBatchAreOneDelivery) {
    RecordAvail([](uint16_t Count) { return Count; });
    Port.SetOpen(true);
    Pty.Send("abc");
    ASSERT_TRUE(PumpUntil([&] { return !Avails.empty(); }));
    Loop.ProcessFor(300ms);
    EXPECT_EQ(Avails, std::vector<uint16_t>{3});
    EXPECT_EQ(Taken, "abc");
}

TEST_F(PtyPort, BytesLeftByTheHandlerAreOfferedWithTheNextArrival) {
    RecordAvail([](uint16_t) { return 2; });
    Port.SetOpen(true);
    Pty.Send("12345");
    ASSERT_TRUE(PumpUntil([&] { return !Avails.empty(); }));
    Loop.ProcessFor(300ms);
    EXPECT_EQ(Avails, std::vector<uint16_t>{5}) << "nothing more until new bytes arrive";
    Pty.Send("6");
    ASSERT_TRUE(PumpUntil([&] { return Avails.size() == 2; }));
    EXPECT_EQ(Avails[1], 4);
    EXPECT_EQ(Taken, "1234");
}

TEST_F(PtyPort, NothingIsDeliveredWhileWaitForTextRuns) {
    bool Waiting = false;
    int DeliveredWhileWaiting = 0;
    Port.OnTriggerAvail = [&](TSerialPort* CP, uint16_t Count) {
        DeliveredWhileWaiting += Waiting;
        Avails.push_back(Count);
        for (int I = 0; I < Count; ++I)
            Taken.push_back(static_cast<char>(CP->ReadChar()));
    };
    Port.SetOpen(true);
    std::thread Device([&] {
        std::this_thread::sleep_for(60ms);
        Pty.Send("xx\r\n");
        std::this_thread::sleep_for(60ms);
        Pty.Send(">tail");
    });
    Waiting = true;
    const bool Found = Port.WaitForText("\r\n>", 10, true, false); // pumping messages
    Waiting = false;
    Device.join();
    EXPECT_TRUE(Found);
    EXPECT_EQ(DeliveredWhileWaiting, 0);
    Pty.Send("!");
    ASSERT_TRUE(PumpUntil([&] { return Taken.find('!') != std::string::npos; }));
    EXPECT_EQ(Taken, "tail!");
}

TEST_F(PtyPort, ClosingFromInsideAnAvailHandlerDefersTheReleaseAndReopens) {
    int Events = 0;
    Port.OnTriggerAvail = [&](TSerialPort* CP, uint16_t) {
        ++Events;
        CP->SetOpen(false);
        EXPECT_FALSE(CP->Open());
        EXPECT_EQ(CP->State(), psClosing) << "released only after the handler";
        CP->SetOpen(true); // carried out once the release is done
        EXPECT_EQ(CP->State(), psClosing);
    };
    Port.SetOpen(true);
    Pty.Send("abc");
    ASSERT_TRUE(PumpUntil([&] { return Events == 1; }));
    EXPECT_EQ(Port.State(), psOpen) << "released and reopened as the handler returned";
    EXPECT_TRUE(Port.Open());

    Port.OnTriggerAvail = [&](TSerialPort* CP, uint16_t Count) {
        ++Events;
        for (int I = 0; I < Count; ++I)
            Taken.push_back(static_cast<char>(CP->ReadChar()));
    };
    Pty.Send("new");
    ASSERT_TRUE(PumpUntil([&] { return Taken.size() >= 3; }));
    EXPECT_EQ(Taken.substr(Taken.size() - 3), "new") << "the reopened port receives";
}

TEST_F(PtyPort, NoEventFollowsACloseFromInsideAHandler) {
    int Events = 0;
    Port.OnTrigger = [&](TSerialPort* CP, uint16_t, uint16_t, uint16_t) {
        ++Events;
        CP->SetOpen(false);
    };
    Port.OnTriggerAvail = [&](TSerialPort*, uint16_t) { ADD_FAILURE() << "event after close"; };
    Port.SetOpen(true);
    Pty.Send("abc");
    ASSERT_TRUE(PumpUntil([&] { return Port.State() == psClosed; }));
    Pty.Send("more");
    Loop.ProcessFor(200ms);
    EXPECT_EQ(Events, 1);
}

TEST_F(PtyPort, ComNumberChangeWhileOpenReopensAndKeepsTheWatch) {
    TPty Second;
    Ini.Map(9, Second.SlavePath());
    Port.SetOpen(true);
    const uint16_t Watch = Port.AddStatusWatch(2);
    EXPECT_EQ(Watch, 10);
    Port.ArmStatusWatch(Watch, 15, true);

    Port.SetComNumber(9);
    EXPECT_TRUE(Port.Open());
    EXPECT_NO_THROW(Port.ArmStatusWatch(Watch, 15, true)) << "the watch came along";
    EXPECT_NE(Port.AddStatusWatch(2), Watch) << "new watches do not reuse its handle";
    Port.SendString("to9");
    EXPECT_EQ(Second.Receive(3, 2000ms), "to9");
    EXPECT_EQ(Pty.Receive(1, 100ms), "");

    TSerialPort Other(&Loop);
    Other.SetComNumber(7);
    EXPECT_NO_THROW(Other.SetOpen(true)) << "the first device was released";
}

TEST_F(PtyPort, VanishedDeviceIsReportedOnce) {
    std::vector<int> Lost;
    Port.OnDeviceLost = [&](TSerialPort*, int Code) { Lost.push_back(Code); };
    Port.SetOpen(true);
    Pty.HangUp();
    ASSERT_TRUE(PumpUntil([&] { return !Lost.empty(); }));
    Loop.ProcessFor(300ms);
    EXPECT_EQ(Lost, std::vector<int>{ecDeviceReadError});
    EXPECT_TRUE(Port.Open());
    Port.SetOpen(false);
    EXPECT_EQ(Port.State(), psClosed);
}

} // namespace
