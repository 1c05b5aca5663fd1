#pragma once
// A range of a recording file written as a trace file of another kind, for the programs that read
// those: the data file, CSV and VCD through trace's streamed writers, and sigrok's session file.
// Streamed: memory does not grow with the range, whatever its length.

#include "capture/reader.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace convert {

enum class TFormat { DataFile, Csv, Vcd, Sigrok };

// The format a file name's extension asks for, whatever its case: .txt, .csv, .vcd or .sr.
std::optional<TFormat> FormatForName(const std::string& path);

// Samples First to Last of a recording, both included; sample k lies at k × the period from the
// recording's start.
struct TSampleRange {
    std::uint64_t First = 0;
    std::uint64_t Last = 0;
    std::uint64_t Count() const { return Last - First + 1; }
};

// The samples from the one nearest to `fromMs` to the one nearest to `toMs`, times from the
// recording's start; none given: from its first sample, or to its last. Samples beyond the
// recording's end are left out. An error in words where no sample is left.
struct TRangeChoice {
    std::optional<TSampleRange> Range;
    std::string Error;
};
TRangeChoice ChooseRange(const capture::TRecordingReader& reader, std::optional<double> fromMs,
                         std::optional<double> toMs);

// The damaged blocks (holes) that the range meets, in words with their samples and times; empty
// where it meets none. A trace file has no way to leave samples out, so such a range is written
// by its parts before and after the holes.
std::string HolesIn(const capture::TRecordingReader& reader, const TSampleRange& range);

// Told as the writing goes on, the samples done of the range's; returning false cancels it.
using TProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// Writes the range to `path` in `format`, times from the recording's start, replacing a file
// there only once the new one is whole. Returns false when `progress` cancelled it, the file at
// `path` then left as it was. Throws files::EInOutError before writing anything where the range
// meets a hole (the text "Damaged block", the detail HolesIn's words), and where the recording
// cannot be read or the file cannot be written (the detail naming the file).
bool WriteRange(const capture::TRecordingReader& reader, const TSampleRange& range,
                const std::string& path, TFormat format, const TProgress& progress = {});

} // namespace convert
