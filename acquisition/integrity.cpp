#include "acquisition/integrity.h"

#include "acquisition/timing.h"
#include "numbers/number_format.h"
#include "numbers/spin_text.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace acquisition {

double DeviceByteRate(std::int64_t divider) {
    return static_cast<double>(DeviceClockHz / static_cast<long double>(6 * divider + 12) / 8);
}

double LineByteRate(double baud, int dataBits, bool parity, int stopBits) {
    return baud / (1 + dataBits + (parity ? 1 : 0) + stopBits);
}

double IntegrityWindow(double expectedRate) {
    return std::max(1.0, IntegrityWindowBytes / expectedRate);
}

namespace {

// Ticks come a little early or late; a window this much short still counts as whole.
constexpr double Slack = 0.05;

// "12.8 кБ/с" from 1 kB/s on, "12.5 Б/с" below; `unit` false leaves the unit out.
QString RateText(double bytesPerSecond, bool unit) {
    const bool kilo = bytesPerSecond >= 1000;
    const QString number =
        numbers::FormatSpinValue(kilo ? bytesPerSecond / 1000 : bytesPerSecond,
                                 {numbers::vtFloat, 1, QLocale().decimalPoint()});
    if (!unit)
        return number;
    return number + (kilo ? QStringLiteral(" кБ/с") : QStringLiteral(" Б/с"));
}

} // namespace

void TIntegrityMonitor::Start(double deviceRate, double lineRate, double now) {
    deviceRate_ = deviceRate;
    lineRate_ = lineRate;
    window_ = IntegrityWindow(std::min(deviceRate, lineRate));
    start_ = now;
    received_ = 0;
    marks_.assign(1, {now, 0});
}

TIntegrityFigures TIntegrityMonitor::Tick(double now, std::uint64_t waiting) {
    // The oldest mark kept is the one at least a window ago, or the start.
    while (marks_.size() > 1 && marks_[1].Time <= now - window_ + Slack)
        marks_.pop_front();
    const TMark from = marks_.front();
    const std::uint64_t arrived = received_ + waiting;
    marks_.push_back({now, arrived});
    TIntegrityFigures figures;
    figures.DeviceRate = deviceRate_;
    figures.LineSlower = lineRate_ < deviceRate_;
    const double seconds = now - from.Time;
    if (seconds <= 0)
        return figures;
    const double received = static_cast<double>(arrived - from.Received);
    figures.ReceivedRate = received / seconds;
    const double expected = std::min(deviceRate_, lineRate_) * seconds;
    if (seconds >= 1.0 - Slack && received < IntegrityThreshold * expected - IntegrityBytesInFlight)
        figures.Missing = static_cast<std::uint64_t>(std::llround(expected - received));
    return figures;
}

TIntegrityTotals TIntegrityMonitor::Totals(double now) const {
    const double seconds = std::max(0.0, now - start_);
    return {received_,
            static_cast<std::uint64_t>(std::llround(std::min(deviceRate_, lineRate_) * seconds)),
            seconds};
}

QString IntegrityText(const TIntegrityFigures& f) {
    // The unit once when both rates share it, as in "12.8 кБ/с из 12.8".
    const bool sameUnit = (f.ReceivedRate >= 1000) == (f.DeviceRate >= 1000);
    QString text =
        RateText(f.ReceivedRate, true) + QStringLiteral(" из ") + RateText(f.DeviceRate, !sameUnit);
    if (f.LineSlower)
        text += QStringLiteral(", линия медленнее прибора");
    if (f.Missing > 0)
        text += QStringLiteral(", не хватает %1 Б").arg(f.Missing);
    return text;
}

std::string IntegrityComment(const TIntegrityTotals& t) {
    const std::uint64_t missing = t.Expected > t.Received ? t.Expected - t.Received : 0;
    return "received " + std::to_string(t.Received) + " sample bytes of " +
           std::to_string(t.Expected) + " expected in " +
           numbers::FormatGeneral(t.Seconds, 6, QStringLiteral(".")).toStdString() + " s, " +
           std::to_string(missing) + " missing";
}

} // namespace acquisition
