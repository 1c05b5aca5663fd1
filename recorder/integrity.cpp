#include "recorder/integrity.h"

#include "recorder/number_format.h"
#include "recorder/timing.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace recorder {

double DeviceByteRate(std::int64_t divider) {
    return static_cast<double>(DeviceClockHz / static_cast<long double>(6 * divider + 12) / 8);
}

double LineByteRate(double baud, int dataBits, bool parity, int stopBits) {
    return baud / (1 + dataBits + (parity ? 1 : 0) + stopBits);
}

namespace {
// Ticks come a little early or late; a window this much short of a second still counts as one.
constexpr double Slack = 0.05;
} // namespace

void TIntegrityMonitor::Start(double deviceRate, double lineRate, double now) {
    deviceRate_ = deviceRate;
    lineRate_ = lineRate;
    start_ = now;
    received_ = 0;
    marks_.assign(1, {now, 0});
}

TIntegrityFigures TIntegrityMonitor::Tick(double now, std::uint64_t waiting) {
    // The oldest mark kept is the one at least a second ago, or the start.
    while (marks_.size() > 1 && marks_[1].Time <= now - 1.0 + Slack)
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
    if (seconds >= 1.0 - Slack && received < IntegrityThreshold * expected)
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
    const QLocale locale;
    QString text = locale.toString(f.ReceivedRate / 1000, 'f', 1) + QStringLiteral(" кБ/с из ") +
                   locale.toString(f.DeviceRate / 1000, 'f', 1);
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
           FormatGeneral(t.Seconds, 6, QStringLiteral(".")).toStdString() + " s, " +
           std::to_string(missing) + " missing";
}

} // namespace recorder
