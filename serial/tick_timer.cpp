#include "serial/tick_timer.h"

#include <chrono>

namespace serial {

uint64_t SteadyMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TTickTimer NewTimer(uint64_t Now, int32_t Ticks) {
    uint32_t Count = Ticks < 0 ? 0 : static_cast<uint32_t>(Ticks);
    if (Count > MaxTicks)
        Count = MaxTicks;
    return {Now + Count};
}

bool TimerExpired(const TTickTimer& Timer, uint64_t Now) {
    return Now > Timer.ExpireTicks;
}

} // namespace serial
