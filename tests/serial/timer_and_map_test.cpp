// The tick timer and the port map: pure rules, no device.

#include "support/pty_pair.h"

#include "serial/port_map.h"
#include "serial/serial_port.h"
#include "serial/tick_timer.h"

#include <gtest/gtest.h>

using namespace serial;

namespace {

// Times in milliseconds of the port's clock; a 32-bit count of them wraps at 2^32.
constexpr uint64_t Wrap32 = uint64_t{1} << 32;

struct TTimerCase {
    const char* Name;
    uint64_t StartMs;
    int32_t Ticks;
    uint64_t NowMs;
    bool Expired;
};

class TickTimer : public ::testing::TestWithParam<TTimerCase> {};

TEST_P(TickTimer, ExpiresAfterItsTicksWhereverTheClockStands) {
    const auto& C = GetParam();
    EXPECT_EQ(TimerExpired(NewTimer(TicksOf(C.StartMs), C.Ticks), TicksOf(C.NowMs)), C.Expired);
}

// A timer of n ticks lasts more than 55 × n and at most 55 × (n + 1) ms: it started somewhere in
// its first tick and ends when the tick after its last begins.
INSTANTIATE_TEST_SUITE_P(
    Cases, TickTimer,
    ::testing::Values(TTimerCase{"LastTickNotOver", 55000, 10, 55000 + 10 * 55 + 54, false},
                      TTimerCase{"PastTheLastTick", 55000, 10, 55000 + 11 * 55, true},
                      TTimerCase{"LateInTheFirstTick", 55054, 10, 55054 + 550, false},
                      TTimerCase{"LateInTheFirstTickPast", 55054, 10, 55054 + 551, true},
                      TTimerCase{"ZeroTicks", 55000, 0, 55055, true},
                      TTimerCase{"NegativeIsZero", 55000, -5, 55055, true},
                      TTimerCase{"CappedCount", 0, 2000000000, (MaxTicks + 1) * uint64_t{55}, true},
                      // 2^32 - 100 lies 36 ms into its tick: expiry 569 ms later.
                      TTimerCase{"AcrossThe32BitWrapNotYet", Wrap32 - 100, 10, Wrap32 + 468, false},
                      TTimerCase{"AcrossThe32BitWrapPast", Wrap32 - 100, 10, Wrap32 + 469, true}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(TickTimer, TicksAre55Milliseconds) {
    EXPECT_EQ(TicksOf(54), 0u);
    EXPECT_EQ(TicksOf(55), 1u);
    EXPECT_EQ(TicksOf(605), 11u);
}

TEST(PortMap, NamesAndDefaultDevices) {
    serial::test::TPortsIni Ini;
    EXPECT_EQ(PortName(1), "COM1");
    EXPECT_EQ(PortName(50), "COM50");
    EXPECT_EQ(PortDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(PortDevicePath(12), "/dev/ttyS11");
    Ini.Map(3, "/dev/serial/by-id/usb-x-if00-port0");
    EXPECT_EQ(PortDevicePath(3), "/dev/serial/by-id/usb-x-if00-port0");
    EXPECT_EQ(PortDevicePath(4), "/dev/ttyS3");
}

TEST(PortMap, PresenceOfPorts) {
    serial::test::TPortsIni Ini;
    serial::test::TPty Pty;
    Ini.Map(5, Pty.SlavePath());
    Ini.Map(6, "/dev/talvir-no-such-device");
    EXPECT_FALSE(PortPresent(0));
    EXPECT_TRUE(PortPresent(5));
    EXPECT_FALSE(PortPresent(6));

    TPlainMessageLoop Loop;
    TSerialPort Holder(&Loop);
    Holder.SetComNumber(5);
    Holder.SetOpen(true);
    EXPECT_TRUE(PortPresent(5)) << "a port another program holds is present";
}

} // namespace
