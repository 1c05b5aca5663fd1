#pragma once
// What talvir-record tells on standard error besides progress and failures: a period it did not
// take as typed, a line too slow for the device's byte rate, and after such a recording the bytes
// that arrived. Each one line without the program's name. Pure.

#include "record/options.h"
#include "record/session.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>

namespace record {

// A number with "." as the options take it, whatever the C library's locale.
std::string NumberText(long double value, std::chars_format format, int precision);

// The typed period, the one recorded at, and why: off the device's grid, or beyond its range.
// None when no period was typed or it is used as typed.
std::optional<std::string> PeriodNotice(const TRecordOptions& options);

// Whether the device sends more bytes a second at the options' period than the line carries at
// their rate, as 8N1 frames.
bool LineSlowerThanDevice(const TRecordOptions& options);

// The two rates, what follows for the recording, and the period and the rate that would do.
// None when the line carries the device's rate.
std::optional<std::string> LineRateNotice(const TRecordOptions& options);

// The sample bytes received of those the device sent at its rate over the recording; none for a
// recording too short to count.
std::optional<std::string> ReceivedNotice(const TRecording& recording);

// A data file of more points than the window loads: how many it holds, what the window does with
// them, and the kind to take instead. None for another kind, or for a file the window loads whole.
std::optional<std::string> DataFileLengthNotice(const TRecordOptions& options,
                                                std::uint64_t points);

} // namespace record
