#include "recorder/integrity.h"

#include <gtest/gtest.h>

using namespace recorder;

TEST(Integrity, RatesOfTheDividerAndTheLine) {
    EXPECT_DOUBLE_EQ(DeviceByteRate(16), 12800.0);
    EXPECT_DOUBLE_EQ(LineByteRate(115200, 8, false, 1), 11520.0);
    EXPECT_DOUBLE_EQ(LineByteRate(115200, 7, true, 2), 10472.727272727272);
}

// Ticks every half second over the last second: missing bytes only below 98 % of what the
// slower of device and line gives, and not during the first second.
TEST(Integrity, MissingBytesOfTheLastSecond) {
    TIntegrityMonitor monitor;
    monitor.Start(10000, 11520, 100.0);
    monitor.Received(4000);
    EXPECT_EQ(monitor.Tick(100.5, 0).Missing, 0u); // first half second: not judged
    monitor.Received(5000);
    TIntegrityFigures f = monitor.Tick(101.0, 0);
    EXPECT_DOUBLE_EQ(f.ReceivedRate, 9000.0);
    EXPECT_EQ(f.Missing, 1000u);
    EXPECT_FALSE(f.LineSlower);
    monitor.Received(5000);
    f = monitor.Tick(101.5, 0); // 10000 bytes from 100.5 on
    EXPECT_EQ(f.Missing, 0u);
    monitor.Received(4950);
    EXPECT_EQ(monitor.Tick(102.0, 0).Missing, 0u); // 99.5 %
    EXPECT_EQ(monitor.Totals(102.0).Received, 18950u);
    EXPECT_EQ(monitor.Totals(102.0).Expected, 20000u);

    monitor.Start(12800, 11520, 0);
    monitor.Received(5760);
    monitor.Tick(0.5, 0);
    monitor.Received(5760);
    f = monitor.Tick(1.0, 0);
    EXPECT_TRUE(f.LineSlower);
    EXPECT_EQ(f.Missing, 0u);
}

// Bytes that wait at the port for a busy window have arrived all the same; once the handler has
// them they are not counted twice.
TEST(Integrity, BytesWaitingAtThePortHaveArrived) {
    TIntegrityMonitor monitor;
    monitor.Start(10000, 11520, 0);
    monitor.Received(5000);
    monitor.Tick(0.5, 0);
    monitor.Received(3000);
    TIntegrityFigures f = monitor.Tick(1.0, 2000);
    EXPECT_DOUBLE_EQ(f.ReceivedRate, 10000.0);
    EXPECT_EQ(f.Missing, 0u);
    monitor.Received(2000 + 5000);
    f = monitor.Tick(1.5, 0);
    EXPECT_DOUBLE_EQ(f.ReceivedRate, 10000.0);
    EXPECT_EQ(f.Missing, 0u);
    EXPECT_EQ(monitor.Totals(1.5).Received, 15000u);
}
