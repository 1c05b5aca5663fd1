#pragma once
// The port's time unit for waits: a tick of 55 ms on a 32-bit millisecond clock that may wrap.

#include <cstdint>
#include <functional>

namespace serial {

constexpr uint32_t TickMs = 55;
// The largest tick count whose length in milliseconds fits a signed 32-bit value.
constexpr uint32_t MaxTicks = 39045157;

// Milliseconds of a monotonic clock, cut to 32 bits. Tests pass their own.
using TMsClock = std::function<uint32_t()>;
uint32_t SteadyMs();

struct TTickTimer {
    uint32_t StartTicks = 0;
    uint32_t ExpireTicks = 0;
};

inline uint32_t TicksOf(uint32_t Ms) {
    return Ms / TickMs;
}

// Starts a timer of Ticks ticks at tick count Now; negative counts as 0, more than MaxTicks as
// MaxTicks.
TTickTimer NewTimer(uint32_t Now, int32_t Ticks);

// Expired once the count passes the expiry; a count below the start means the clock wrapped.
bool TimerExpired(const TTickTimer& Timer, uint32_t Now);

} // namespace serial
