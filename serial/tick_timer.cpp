#include "tick_timer.h"

#include <chrono>

namespace serial {

uint32_t SteadyMs() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TTickTimer NewTimer(uint32_t Now, int32_t Ticks) {
    uint32_t Count = Ticks < 0 ? 0 : static_cast<uint32_t>(Ticks);
    if (Count > MaxTicks)
        Count = MaxTicks;
    return {Now, Now + Count};
}

bool TimerExpired(const TTickTimer& Timer, uint32_t Now) {
    if (Now > Timer.ExpireTicks)
        return true;
    return Now < Timer.StartTicks && Now + MaxTicks > Timer.ExpireTicks;
}

} // namespace serial
