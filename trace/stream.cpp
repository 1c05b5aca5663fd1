#include "trace/stream.h"

#include "numbers/number_format.h"
#include "trace/csv.h"
#include "trace/data_file.h"

namespace trace {

namespace {

// Text handed to the file in pieces of about this size: few writes, little memory.
constexpr std::size_t FlushSize = 1 << 20;

} // namespace

TTraceStream::TTraceStream(const std::string& path, TStreamKind kind, long double samplePeriodMs,
                           std::uint64_t firstSample)
    : kind_(kind), periodMs_(samplePeriodMs), first_(firstSample),
      decimalPoint_(numbers::DataFileDecimalPoint()),
      file_(std::make_unique<files::TFileReplacement>(path)) {
    if (kind == TStreamKind::Csv)
        pending_ = CsvHeader;
    if (kind == TStreamKind::Vcd) {
        changes_ = std::make_unique<files::TScratchFile>(file_->Folder());
        vcd_.emplace(static_cast<double>(samplePeriodMs));
    }
}

void TTraceStream::Add(std::span<const double> levels) {
    AddLevels(levels);
}

void TTraceStream::Add(std::span<const std::uint8_t> levels) {
    AddLevels(levels);
}

template <class TLevel> void TTraceStream::AddLevels(std::span<const TLevel> levels) {
    for (const TLevel level : levels) {
        const auto time =
            static_cast<double>(static_cast<long double>(first_ + samples_++) * periodMs_);
        switch (kind_) {
        case TStreamKind::DataFile:
            AppendDataFilePoint(pending_, time, level, decimalPoint_);
            break;
        case TStreamKind::Csv:
            AppendCsvPoint(pending_, time, level);
            break;
        case TStreamKind::Vcd:
            vcd_->AppendPoint(pending_, time, level);
            break;
        }
        if (pending_.size() >= FlushSize)
            Flush();
    }
}

void TTraceStream::Flush() {
    broken_ = true; // until the write has not thrown
    if (changes_)
        changes_->Append(pending_);
    else
        file_->Append(pending_);
    pending_.clear();
    broken_ = false;
}

void TTraceStream::Finish(const TVcdHeader& vcdHeader) {
    if (vcd_)
        vcd_->AppendEnd(pending_);
    Flush();
    if (changes_) {
        file_->Append(FormatVcdHeader(vcdHeader));
        changes_->CopyTo(*file_);
    }
    file_->Commit();
}

} // namespace trace
