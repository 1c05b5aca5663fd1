#pragma once
// The port's time unit for waits: a tick of 55 ms on a 64-bit monotonic millisecond clock. A
// 32-bit millisecond count wraps every 49.7 days, and a wait that straddled the wrap would last
// until the count came round again; a 64-bit count does not wrap in the life of a machine.

#include <cstdint>
#include <functional>

namespace serial {

constexpr uint32_t TickMs = 55;
// The largest tick count whose length in milliseconds fits a signed 32-bit value.
constexpr uint32_t MaxTicks = 39045157;

// Milliseconds of a monotonic clock. Tests pass their own.
using TMsClock = std::function<uint64_t()>;
uint64_t SteadyMs();

struct TTickTimer {
    uint64_t ExpireTicks = 0;
};

inline uint64_t TicksOf(uint64_t Ms) {
    return Ms / TickMs;
}

// Starts a timer of Ticks ticks at tick count Now; negative counts as 0, more than MaxTicks as
// MaxTicks.
TTickTimer NewTimer(uint64_t Now, int32_t Ticks);

// Expired once the count passes the expiry: a timer of n ticks lasts more than 55 × n and at most
// 55 × (n + 1) ms.
bool TimerExpired(const TTickTimer& Timer, uint64_t Now);

} // namespace serial
