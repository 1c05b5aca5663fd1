#pragma once
// The device's dialogue around a recording, the same for the window and the command-line recorder:
// wake it, command the sampling, watch the line for errors, and stop it again. No widgets.
//
// Window thread (the thread of the port's message loop), like the port itself.

#include <cstdint>
#include <string>

namespace serial {
class TSerialPort;
}

namespace acquisition {

// The device's prompt and its answer time for the prompt and for the echo: 10 ticks of 55 ms.
inline constexpr const char* DevicePrompt = "\r\n>";
inline constexpr std::int32_t AnswerTicks = 10;

// "RP 10\r" (sampling) or "RT 10\r" (test pattern): the divider in upper-case hexadecimal with at
// least two digits.
std::string StartCommand(bool testMode, std::int64_t divider);

enum class TStartAnswer { Started, NoPrompt, NoEcho };

// On an open port: a CR to wake the device, its prompt, the start command, and the command's echo.
// Waits without handling messages, at most twice the answer time.
TStartAnswer StartSampling(serial::TSerialPort& port, bool testMode, std::int64_t divider);

// Arms a watch for overrun, parity, framing and break on an open port; its handle.
std::uint16_t WatchLineErrors(serial::TSerialPort& port);

// A CR stops the device; it is given up to 2 s to leave (flow control may hold it back), then the
// port is closed. Nothing happens on a closed port.
void EndSampling(serial::TSerialPort& port);

} // namespace acquisition
