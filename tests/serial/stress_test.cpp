// Many opens and closes while bytes keep arriving, half of them closed from inside a handler.

#include "pty_pair.h"

#include "serial/dispatcher_table.h"
#include "serial/memory_device.h"
#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <unistd.h>

using namespace serial;
using namespace serial::test;
using namespace std::chrono_literals;

namespace {

TEST(SerialStress, TwoHundredOpenCloseCyclesWithDataFlowing) {
    TPortsIni Ini;
    TPty Pty;
    Ini.Map(7, Pty.SlavePath());
    TPlainMessageLoop Loop;
    TSerialPort Port(&Loop);
    Port.SetComNumber(7);
    Port.SetAutoOpen(false);

    std::atomic<bool> Stop{false};
    std::thread Device([&] {
        while (!Stop) {
            // Never blocks: while the port is closed the pty fills up and the bytes are dropped.
            [[maybe_unused]] auto Written = ::write(Pty.Master(), "0123456789", 10);
            Pty.Receive(4096, 1ms); // keep what the port sends from filling the pty
        }
    });

    int Delivered = 0;
    for (int Cycle = 0; Cycle < 200; ++Cycle) {
        const bool CloseInside = Cycle % 2 == 0;
        bool Seen = false;
        Port.OnTriggerAvail = [&](TSerialPort* CP, uint16_t Count) {
            Seen = true;
            ++Delivered;
            for (int I = 0; I < Count / 2; ++I)
                CP->ReadChar();
            CP->SendString("r");
            if (CloseInside)
                CP->SetOpen(false);
        };
        Port.SetOpen(true);
        ASSERT_TRUE(Loop.ProcessUntil([&] { return Seen; }, 3000ms)) << "cycle " << Cycle;
        Port.SetOpen(false);
        ASSERT_TRUE(Loop.ProcessUntil([&] { return Port.State() == psClosed; }, 3000ms))
            << "cycle " << Cycle;
    }
    Stop = true;
    Device.join();
    EXPECT_GE(Delivered, 200);
    EXPECT_EQ(TDispatcherTable::Instance().Count(), 0u) << "every dispatcher was freed";
}

TEST(SerialStress, LineErrorsAndClosesRaceOnTheMemoryDevice) {
    TPlainMessageLoop Loop;
    auto Device = std::make_shared<TMemoryDevice>();
    TSerialPort Port(&Loop);
    Port.SetDeviceFactory([&] { return Device; });
    Port.SetComNumber(1);
    Port.SetAutoOpen(false);
    int Events = 0;
    Port.OnTriggerLineError = [&](TSerialPort* CP, uint16_t, bool) {
        ++Events;
        CP->SetOpen(false);
    };
    for (int Cycle = 0; Cycle < 100; ++Cycle) {
        Port.SetOpen(true);
        const uint16_t Watch = Port.AddStatusWatch(2);
        Port.ArmStatusWatch(Watch, 15, true);
        Device->Feed({1, 2, 3});
        Device->InjectErrors(leFraming);
        ASSERT_TRUE(Loop.ProcessUntil([&] { return Port.State() == psClosed; }, 3000ms));
    }
    EXPECT_EQ(Events, 100);
}

} // namespace
