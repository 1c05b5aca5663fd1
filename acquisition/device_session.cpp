#include "acquisition/device_session.h"

#include "serial/serial_port.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace acquisition {

namespace {

constexpr std::uint16_t LineStatusKind = 2;
// Overrun, parity, framing and break.
constexpr std::uint16_t LineErrorMask = 15;
constexpr auto DrainLimit = std::chrono::seconds(2);

} // namespace

std::string StartCommand(bool testMode, std::int64_t divider) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%.2llX", static_cast<unsigned long long>(divider));
    return std::string(testMode ? "RT " : "RP ") + digits + '\r';
}

TStartAnswer StartSampling(serial::TSerialPort& port, bool testMode, std::int64_t divider) {
    port.SendChar('\r');
    if (!port.WaitForText(DevicePrompt, AnswerTicks, false, false))
        return TStartAnswer::NoPrompt;
    const std::string command = StartCommand(testMode, divider);
    port.SendString(command);
    return port.WaitForText(command, AnswerTicks, false, false) ? TStartAnswer::Started
                                                                : TStartAnswer::NoEcho;
}

std::uint16_t WatchLineErrors(serial::TSerialPort& port) {
    const std::uint16_t watch = port.AddStatusWatch(LineStatusKind);
    port.ArmStatusWatch(watch, LineErrorMask, true);
    return watch;
}

void EndSampling(serial::TSerialPort& port) {
    if (!port.Open())
        return;
    port.SendString("\r");
    const auto deadline = std::chrono::steady_clock::now() + DrainLimit;
    while (port.OutputPending() != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    port.SetOpen(false);
}

} // namespace acquisition
