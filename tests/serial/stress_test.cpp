// Many opens and closes while bytes keep arriving, half of them closed from inside a handler.

#include "support/pty_pair.h"

#include "serial/dispatcher_table.h"
#include "serial/serial_port.h"
#include "support/memory_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
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

    // The device counts its bytes up, modulo 256: within one open period every byte the handlers
    // take must follow the one before. A close discards what waits, so a new period may start
    // anywhere.
    std::atomic<bool> Stop{false};
    std::thread Device([&] {
        uint8_t Next = 0;
        while (!Stop) {
            uint8_t Chunk[10];
            for (uint8_t I = 0; I < 10; ++I)
                Chunk[I] = static_cast<uint8_t>(Next + I);
            // Never blocks: while the port is closed the pty fills up and the writes fail.
            const auto Written = ::write(Pty.Master(), Chunk, sizeof Chunk);
            if (Written > 0)
                Next = static_cast<uint8_t>(Next + Written);
            Pty.Receive(4096, 1ms); // keep what the port sends from filling the pty
        }
    });

    int Delivered = 0;
    int OutOfSequence = 0;
    for (int Cycle = 0; Cycle < 200; ++Cycle) {
        const bool CloseInside = Cycle % 2 == 0;
        int Seen = 0;
        int Last = -1;
        Port.OnTriggerAvail = [&](TSerialPort* CP, uint16_t Count) {
            ++Seen;
            ++Delivered;
            // Half of them: the rest must come first in the next delivery.
            for (int I = 0; I < (Count + 1) / 2; ++I) {
                const uint8_t Byte = CP->ReadChar();
                OutOfSequence += Last >= 0 && Byte != static_cast<uint8_t>(Last + 1);
                Last = Byte;
            }
            CP->SendString("r");
            if (CloseInside)
                CP->SetOpen(false);
        };
        Port.SetOpen(true);
        ASSERT_TRUE(Loop.ProcessUntil([&] { return Seen >= (CloseInside ? 1 : 3); }, 3000ms))
            << "cycle " << Cycle;
        Port.SetOpen(false);
        ASSERT_TRUE(Loop.ProcessUntil([&] { return Port.State() == psClosed; }, 3000ms))
            << "cycle " << Cycle;
    }
    Stop = true;
    Device.join();
    EXPECT_GE(Delivered, 400);
    EXPECT_EQ(OutOfSequence, 0);
    EXPECT_EQ(TDispatcherTable::Instance().Count(), 0u) << "every dispatcher was freed";
}

TEST(SerialStress, LineErrorsAndClosesRaceOnTheMemoryDevice) {
    TPlainMessageLoop Loop;
    auto Device = std::make_shared<test_support::TMemoryDevice>();
    TSerialPort Port(&Loop);
    Port.SetDeviceFactory([&] { return Device; });
    Port.SetComNumber(1);
    Port.SetAutoOpen(false);
    int Events = 0;
    Port.OnTriggerLineError = [&](TSerialPort* CP, uint16_t, bool) {
        ++Events;
        CP->SetOpen(false);
    };
    // Whatever of a cycle's bytes arrives before the close must come in order, each once.
    std::string Taken;
    int OutOfSequence = 0;
    Port.OnTriggerAvail = [&](TSerialPort* CP, uint16_t Count) {
        for (int I = 0; I < Count; ++I)
            Taken.push_back(static_cast<char>(CP->ReadChar()));
    };
    for (int Cycle = 0; Cycle < 100; ++Cycle) {
        Taken.clear();
        Port.SetOpen(true);
        const uint16_t Watch = Port.AddStatusWatch(2);
        Port.ArmStatusWatch(Watch, 15, true);
        Device->Feed({1, 2, 3});
        Device->InjectErrors(leFraming);
        ASSERT_TRUE(Loop.ProcessUntil([&] { return Port.State() == psClosed; }, 3000ms));
        OutOfSequence += std::string("\x01\x02\x03").substr(0, Taken.size()) != Taken;
    }
    EXPECT_EQ(Events, 100);
    EXPECT_EQ(OutOfSequence, 0);
}

} // namespace
