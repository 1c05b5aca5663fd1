#pragma once
// The pacing of the simulated sample stream at the device's byte rate.

#include <cstdint>

namespace devsim {

// Spreads the stream's bytes evenly over time against an absolute schedule: the number of
// bytes due is computed from the time since the schedule began, never summed up step by step,
// so rounding cannot drift over minutes. Times are nanoseconds of a monotonic clock that the
// caller reads, so tests drive the clock.
class Pacer {
public:
    using Nanos = std::int64_t;

    // A new stream: nothing sent yet, `bytesPerSecond` from `now` on.
    void Start(Nanos now, long double bytesPerSecond);
    // The line speed changed, or the stream resumes after a pause: the bytes sent so far
    // stand, the schedule continues from `now` at the given rate.
    void Restart(Nanos now, long double bytesPerSecond);

    // Bytes due by `now` and not yet sent. When the reader holds the stream back for longer
    // than kMaxBacklog, the schedule moves on rather than sending it all in one burst later.
    std::uint64_t Due(Nanos now);
    void Sent(std::uint64_t bytes) { sent_ += bytes; }

    // Time from `now` until `bytes` more bytes are due (0 when they already are).
    Nanos WaitFor(std::uint64_t bytes, Nanos now) const;

    long double Rate() const { return rate_; }

    static constexpr Nanos kMaxBacklog = 100'000'000;

private:
    std::uint64_t ScheduledBy(Nanos now) const;

    Nanos origin_ = 0;
    std::uint64_t sentAtOrigin_ = 0;
    std::uint64_t sent_ = 0;
    long double rate_ = 0;
};

} // namespace devsim
