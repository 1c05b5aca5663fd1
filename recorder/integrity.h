#pragma once
// Whether the samples arrive as fast as the device sends them: the received byte rate of the last
// second against the rate the divider gives, as far as the line can carry it.

#include <cstdint>
#include <deque>
#include <string>

#include <QString>

namespace recorder {

// Sample bytes a second at divider n: 11059200 / (6n + 12) samples, 8 a byte.
double DeviceByteRate(std::int64_t divider);

// Bytes a second a serial line carries: one start bit, the data bits, a parity bit when there is
// one, and the stop bits a character.
double LineByteRate(double baud, int dataBits, bool parity, int stopBits);

// Share of the expected bytes below which bytes count as missing.
inline constexpr double IntegrityThreshold = 0.98;

struct TIntegrityFigures {
    double ReceivedRate = 0; // bytes a second over the last second (or since the start)
    double DeviceRate = 0;
    // The line cannot carry the device's rate; the line's rate is then what is expected.
    bool LineSlower = false;
    // Bytes short of what was expected over the last second; 0 while at least the threshold
    // arrived, and during the first second, whose start the device's first bytes lag behind.
    std::uint64_t Missing = 0;
};

// The counts of a whole recording.
struct TIntegrityTotals {
    std::uint64_t Received = 0;
    std::uint64_t Expected = 0;
    double Seconds = 0;
};

// Fed with received byte counts and asked for figures at ticks; the clock is the caller's, in s.
class TIntegrityMonitor {
public:
    void Start(double deviceRate, double lineRate, double now);
    void Received(std::uint64_t bytes) { received_ += bytes; }
    // `waiting`: bytes that have arrived at the port and wait for the data handler. They count as
    // received, so that a window busy for a moment does not read as bytes missing on the line.
    TIntegrityFigures Tick(double now, std::uint64_t waiting);
    TIntegrityTotals Totals(double now) const;

private:
    struct TMark {
        double Time;
        std::uint64_t Received;
    };
    double deviceRate_ = 0;
    double lineRate_ = 0;
    double start_ = 0;
    std::uint64_t received_ = 0;
    // Counts at the ticks of the last second, the oldest first.
    std::deque<TMark> marks_;
};

// "12.8 кБ/с из 12.8", with what the line or the missing bytes add, in the user's locale.
QString IntegrityText(const TIntegrityFigures& figures);

// The counts in words, for a file's comment.
std::string IntegrityComment(const TIntegrityTotals& totals);

} // namespace recorder
