// The tick timer and the port map: pure rules, no device.

#include "pty_pair.h"

#include "serial/port_map.h"
#include "serial/serial_port.h"
#include "serial/tick_timer.h"

#include <gtest/gtest.h>

using namespace serial;

namespace {

struct TTimerCase {
    const char* Name;
    uint32_t Start;
    int32_t Ticks;
    uint32_t Now;
    bool Expired;
};

class TickTimer : public ::testing::TestWithParam<TTimerCase> {};

TEST_P(TickTimer, ExpiresAfterItsTicksAndAcrossTheClockWrap) {
    const auto& C = GetParam();
    EXPECT_EQ(TimerExpired(NewTimer(C.Start, C.Ticks), C.Now), C.Expired);
}

INSTANTIATE_TEST_SUITE_P(Cases, TickTimer,
                         ::testing::Values(TTimerCase{"AtExpiry", 1000, 10, 1010, false},
                                           TTimerCase{"PastExpiry", 1000, 10, 1011, true},
                                           TTimerCase{"ZeroTicks", 1000, 0, 1001, true},
                                           TTimerCase{"NegativeIsZero", 1000, -5, 1001, true},
                                           TTimerCase{"CappedCount", 0, 2000000000, MaxTicks + 1,
                                                      true},
                                           TTimerCase{"WrappedNotYet", 78090300, 100, 5, false},
                                           TTimerCase{"WrappedAndPast", 78090300, 100,
                                                      78090300 + 100 - MaxTicks + 1, true}),
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
