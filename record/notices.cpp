#include "record/notices.h"

#include "acquisition/integrity.h"
#include "acquisition/timing.h"
#include "trace/data_file.h"

#include <cmath>

namespace record {

std::string NumberText(long double value, std::chars_format format, int precision) {
    char text[64];
    return {text, std::to_chars(text, text + sizeof text, value, format, precision).ptr};
}

namespace {

std::string PeriodText(long double periodMs) {
    return NumberText(periodMs, std::chars_format::fixed, acquisition::PeriodDecimals) + " ms";
}

double LineRate(std::int32_t baud) {
    return acquisition::LineByteRate(baud, 8, false, 1);
}

double DeviceRate(long double periodMs) {
    return acquisition::DeviceByteRate(acquisition::PeriodToDivider(periodMs));
}

std::string RateText(double bytesPerSecond) {
    return std::to_string(std::llround(bytesPerSecond)) + " bytes/s";
}

} // namespace

std::optional<std::string> PeriodNotice(const TRecordOptions& options) {
    if (options.PeriodText.empty())
        return std::nullopt;
    const long double used = acquisition::ConfirmedPeriod(options.PeriodMs);
    // The field's decimals are exact in the typed text; what lies below them is rounding.
    if (std::fabs(used - options.PeriodMs) <= used * 1e-12L)
        return std::nullopt;
    const long double onGrid = acquisition::QuantizePeriod(options.PeriodMs);
    std::string why;
    if (onGrid < acquisition::DividerPeriod(acquisition::MinDivider))
        why = "is shorter than the device's shortest period";
    else if (onGrid > acquisition::DividerPeriod(acquisition::MaxDivider))
        why = "is longer than the device's longest period";
    else
        why = "is not on the device's grid of (6n + 12) / 11059200 s";
    return "--period " + options.PeriodText + " ms " + why + "; recording at " + PeriodText(used);
}

bool LineSlowerThanDevice(const TRecordOptions& options) {
    return LineRate(options.Baud) < DeviceRate(acquisition::ConfirmedPeriod(options.PeriodMs));
}

std::optional<std::string> LineRateNotice(const TRecordOptions& options) {
    if (!LineSlowerThanDevice(options))
        return std::nullopt;
    const long double period = acquisition::ConfirmedPeriod(options.PeriodMs);
    const double device = DeviceRate(period);
    const double line = LineRate(options.Baud);
    // The shortest period whose bytes the line carries, and the slowest rate that carries these.
    std::int64_t divider = acquisition::PeriodToDivider(period);
    while (divider < acquisition::MaxDivider && acquisition::DeviceByteRate(divider) > line)
        ++divider;
    std::string remedy =
        "--period " +
        NumberText(acquisition::ConfirmedPeriod(acquisition::DividerPeriod(divider)),
                   std::chars_format::fixed, acquisition::PeriodDecimals) +
        " or longer";
    for (const std::int32_t rate : LineRates())
        if (LineRate(rate) >= device) {
            remedy += ", or --baud " + std::to_string(rate);
            break;
        }
    return "at " + PeriodText(period) + " the device sends " + RateText(device) +
           ", more than the line carries at " + std::to_string(options.Baud) + " baud (" +
           RateText(line) + "): samples will be missing; take " + remedy;
}

std::optional<std::string> ReceivedNotice(const TRecording& recording) {
    const double seconds = recording.Totals.Seconds;
    if (seconds < ShortestCountedRecording)
        return std::nullopt;
    const auto sent =
        static_cast<std::uint64_t>(std::llround(DeviceRate(recording.PeriodMs) * seconds));
    const std::uint64_t received = recording.Totals.Received;
    return "received " + std::to_string(received) + " sample bytes of " + std::to_string(sent) +
           " expected at the device's rate in " +
           NumberText(seconds, std::chars_format::general, 4) + " s, " +
           std::to_string(sent > received ? sent - received : 0) + " missing";
}

std::optional<std::string> DataFileLengthNotice(const TRecordOptions& options,
                                                std::uint64_t points) {
    if (options.Output != TOutputKind::DataFile)
        return std::nullopt;
    return trace::LongDataFileNotice(options.Out, points);
}

} // namespace record
