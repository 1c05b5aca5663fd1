#include "devsim/pacer.h"

#include <algorithm>
#include <cmath>

namespace devsim {

namespace {
constexpr long double kNanosPerSecond = 1e9L;
}

void Pacer::Start(Nanos now, long double bytesPerSecond) {
    sent_ = 0;
    Restart(now, bytesPerSecond);
}

void Pacer::Restart(Nanos now, long double bytesPerSecond) {
    origin_ = now;
    sentAtOrigin_ = sent_;
    rate_ = bytesPerSecond;
}

std::uint64_t Pacer::ScheduledBy(Nanos now) const {
    if (now <= origin_)
        return sentAtOrigin_;
    const long double bytes =
        std::floor(static_cast<long double>(now - origin_) * rate_ / kNanosPerSecond);
    return sentAtOrigin_ + static_cast<std::uint64_t>(bytes);
}

std::uint64_t Pacer::Due(Nanos now) {
    const std::uint64_t scheduled = ScheduledBy(now);
    if (scheduled <= sent_)
        return 0;
    const auto backlog = std::max<std::uint64_t>(
        1, static_cast<std::uint64_t>(
               std::floor(static_cast<long double>(kMaxBacklog) * rate_ / kNanosPerSecond)));
    if (scheduled - sent_ > backlog) {
        // Pretend the schedule began late enough that exactly the allowed backlog is due.
        origin_ = now - kMaxBacklog;
        sentAtOrigin_ = sent_;
        return ScheduledBy(now) - sent_;
    }
    return scheduled - sent_;
}

Pacer::Nanos Pacer::WaitFor(std::uint64_t bytes, Nanos now) const {
    const std::uint64_t target = sent_ + bytes;
    if (ScheduledBy(now) >= target)
        return 0;
    const long double at =
        std::ceil(static_cast<long double>(target - sentAtOrigin_) * kNanosPerSecond / rate_);
    return origin_ + static_cast<Nanos>(at) - now;
}

} // namespace devsim
