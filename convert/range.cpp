#include "convert/range.h"

#include "convert/sigrok.h"
#include "files/file_io.h"
#include "files/io_error.h"
#include "numbers/number_text.h"
#include "trace/stream.h"
#include "trace/vcd.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <map>
#include <vector>

namespace convert {

namespace {

// Samples read from the recording at a time: a megabyte of levels.
constexpr std::uint64_t ReadSamples = 1 << 20;

long double PeriodMs(const capture::TRecordingReader& reader) {
    const capture::THeader& header = reader.Header();
    return (6.0L * header.Divider + 12.0L) / 11059.2L;
}

std::string Milliseconds(long double ms) {
    std::string text;
    numbers::AppendGeneral(text, static_cast<double>(ms), '.');
    return text + " ms";
}

// A time in microseconds since 1970 as UTC in ISO 8601, to the second.
std::string UtcText(std::int64_t microseconds) {
    const auto seconds = static_cast<std::time_t>(microseconds / 1000000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    return {text, std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc)};
}

trace::TVcdHeader VcdHeader(const capture::TRecordingReader& reader, const TSampleRange& range) {
    const std::int64_t now = std::chrono::duration_cast<std::chrono::microseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
    return {UtcText(now), "Тальвир " TALVIR_VERSION, static_cast<double>(PeriodMs(reader)),
            "samples " + std::to_string(range.First) + " to " + std::to_string(range.Last) +
                " of a recording of " + std::to_string(reader.TotalSamples()) +
                " samples started " + UtcText(reader.Header().StartMicroseconds) + " by " +
                reader.Header().ProgramVersion,
            ""};
}

bool WriteTrace(const capture::TRecordingReader& reader, const TSampleRange& range,
                const std::string& path, trace::TStreamKind kind, const TProgress& progress) {
    trace::TTraceStream stream(path, kind, PeriodMs(reader), range.First);
    for (std::uint64_t at = range.First; at <= range.Last;) {
        const std::uint64_t count = std::min(ReadSamples, range.Last + 1 - at);
        stream.Add(reader.ReadLevels(at, static_cast<std::size_t>(count)));
        at += count;
        if (progress && !progress(at - range.First, range.Count()))
            return false;
    }
    stream.Finish(kind == trace::TStreamKind::Vcd ? VcdHeader(reader, range) : trace::TVcdHeader{});
    return true;
}

} // namespace

std::optional<TFormat> FormatForName(const std::string& path) {
    static const std::map<std::string, TFormat> formats{{".txt", TFormat::DataFile},
                                                        {".csv", TFormat::Csv},
                                                        {".vcd", TFormat::Vcd},
                                                        {".sr", TFormat::Sigrok}};
    const auto format = formats.find(files::LowerExtension(path));
    if (format == formats.end())
        return std::nullopt;
    return format->second;
}

TRangeChoice ChooseRange(const capture::TRecordingReader& reader, std::optional<double> fromMs,
                         std::optional<double> toMs) {
    TRangeChoice choice;
    const std::uint64_t total = reader.TotalSamples();
    const long double period = PeriodMs(reader);
    const auto nearest = [period](double ms) {
        return static_cast<std::uint64_t>(std::llround(std::max(0.0L, ms / period)));
    };
    const std::uint64_t first = fromMs ? nearest(*fromMs) : 0;
    const std::uint64_t last = toMs ? nearest(*toMs) : total;
    const std::string length =
        "the recording holds " + std::to_string(total) + " samples, " +
        Milliseconds(static_cast<long double>(total) * period);
    if (total == 0)
        choice.Error = "the recording holds no sample";
    else if (first >= total)
        choice.Error = "--from " + Milliseconds(*fromMs) + " lies beyond its end: " + length;
    else if (toMs && fromMs && *toMs < *fromMs)
        choice.Error = "--to comes before --from";
    else
        choice.Range = TSampleRange{first, std::min(last, total - 1)};
    return choice;
}

std::string HolesIn(const capture::TRecordingReader& reader, const TSampleRange& range) {
    std::string text;
    const long double period = PeriodMs(reader);
    for (const capture::TBadBlock& bad : reader.BadBlocks()) {
        if (bad.SampleCount == 0 || bad.FirstSample > range.Last ||
            bad.FirstSample + bad.SampleCount <= range.First)
            continue;
        const std::uint64_t end = bad.FirstSample + bad.SampleCount;
        text += (text.empty() ? "" : "; ") + std::string("samples ") +
                std::to_string(bad.FirstSample) + " to " + std::to_string(end - 1) + " (" +
                Milliseconds(static_cast<long double>(bad.FirstSample) * period) + " to " +
                Milliseconds(static_cast<long double>(end) * period) + ") are in a damaged block";
    }
    return text;
}

bool WriteRange(const capture::TRecordingReader& reader, const TSampleRange& range,
                const std::string& path, TFormat format, const TProgress& progress) {
    if (const std::string holes = HolesIn(reader, range); !holes.empty())
        throw files::EInOutError("Damaged block", holes);
    switch (format) {
    case TFormat::DataFile:
        return WriteTrace(reader, range, path, trace::TStreamKind::DataFile, progress);
    case TFormat::Csv:
        return WriteTrace(reader, range, path, trace::TStreamKind::Csv, progress);
    case TFormat::Vcd:
        return WriteTrace(reader, range, path, trace::TStreamKind::Vcd, progress);
    case TFormat::Sigrok:
        return WriteSigrokSession(reader, range, path, progress);
    }
    return false;
}

} // namespace convert
