#pragma once
// Whether the samples arrive as fast as the device sends them: the received byte rate of a recent
// window against the rate the divider gives, as far as the line can carry it.

#include <cstdint>
#include <deque>
#include <string>

#include <QString>

namespace acquisition {

// Sample bytes a second at divider n: 11059200 / (6n + 12) samples, 8 a byte.
double DeviceByteRate(std::int64_t divider);

// Bytes a second a serial line carries: one start bit, the data bits, a parity bit when there is
// one, and the stop bits a character.
double LineByteRate(double baud, int dataBits, bool parity, int stopBits);

// Share of the expected bytes below which bytes count as missing.
inline constexpr double IntegrityThreshold = 0.98;
// Bytes a window holds at the expected rate, however slow: a byte more or less at its ends then
// stays well within the threshold's share. A faster rate fills a second with more.
inline constexpr double IntegrityWindowBytes = 300;
// Bytes on their way at any moment, which no count can hold yet: the one whose samples the device
// is gathering and the one on the line.
inline constexpr double IntegrityBytesInFlight = 2;

// Seconds of the window the figures are taken over at the expected rate: at least one, and long
// enough for IntegrityWindowBytes (85 s at the longest period).
double IntegrityWindow(double expectedRate);

struct TIntegrityFigures {
    double ReceivedRate = 0; // bytes a second over the window (or since the start)
    double DeviceRate = 0;
    // The line cannot carry the device's rate; the line's rate is then what is expected.
    bool LineSlower = false;
    // Bytes short of what was expected over the window; 0 while at least the threshold arrived
    // (allowing for the bytes in flight), and during the first second, whose start the device's
    // first bytes lag behind.
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
    double window_ = 1;
    double start_ = 0;
    std::uint64_t received_ = 0;
    // Counts at the ticks of the window, the oldest first.
    std::deque<TMark> marks_;
};

// "12.8 кБ/с из 12.8" or "12.5 Б/с из 12.5" (below 1 kB/s), with what the line or the missing
// bytes add; Latin digits with the user's decimal separator, as the window's other numbers.
QString IntegrityText(const TIntegrityFigures& figures);

// The counts in words, for a file's comment.
std::string IntegrityComment(const TIntegrityTotals& totals);

} // namespace acquisition
