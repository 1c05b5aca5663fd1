#pragma once
// A trace file written as its samples come, for recordings of any length: the data file, CSV or VCD,
// in memory that does not grow with the length. The text goes to a temporary file beside the file
// named (files::TFileReplacement), a VCD's value changes first to an unnamed scratch file, since
// its header may tell what only the end knows; the file takes its name only at Finish, so a run
// that ends otherwise leaves it as it was.

#include "files/file_io.h"
#include "trace/vcd.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace trace {

enum class TStreamKind { DataFile, Csv, Vcd };

class TTraceStream {
public:
    // Sample j of the stream lies at (firstSample + j) × the period, each time worked out from its
    // own number, so that nothing accumulates over long recordings. A data file takes the decimal
    // separator of the user's locale. Throws files::EInOutError where the file cannot be made.
    TTraceStream(const std::string& path, TStreamKind kind, long double samplePeriodMs,
                 std::uint64_t firstSample = 0);

    // The next samples, 0 or 1 each. Throws files::EInOutError (the file named) on a failed write,
    // after which the stream is broken.
    void Add(std::span<const double> levels);
    void Add(std::span<const std::uint8_t> levels);
    // The samples make up the file; a VCD's header goes in front of them, the other kinds take none.
    void Finish(const TVcdHeader& vcdHeader = {});

    std::uint64_t Samples() const { return samples_; }
    // A write failed: the file cannot be finished.
    bool Broken() const { return broken_; }

private:
    template <class TLevel> void AddLevels(std::span<const TLevel> levels);
    // Hands the text made so far to its file.
    void Flush();

    TStreamKind kind_;
    long double periodMs_;
    std::uint64_t first_;
    char decimalPoint_;
    std::unique_ptr<files::TFileReplacement> file_;
    std::unique_ptr<files::TScratchFile> changes_; // a VCD's, until its header is known
    std::optional<TVcdChanges> vcd_;
    std::string pending_;
    std::uint64_t samples_ = 0;
    bool broken_ = false;
};

} // namespace trace
