#include "record/decoding.h"

#include "decode/annotation_csv.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <utility>

namespace record {

namespace {

std::runtime_error CannotWrite(const std::string& name) {
    return std::runtime_error("cannot write the annotations to " + name + ": " +
                              std::strerror(errno));
}

int Level(const std::vector<std::uint8_t>& packed, std::uint64_t k) {
    return (packed[k / 8] >> (7 - k % 8)) & 1;
}

std::uint64_t RunCount(const std::vector<std::uint8_t>& packed, std::uint64_t count) {
    std::uint64_t runs = count > 0 ? 1 : 0;
    for (std::uint64_t k = 1; k < count; ++k)
        runs += Level(packed, k) != Level(packed, k - 1) ? 1 : 0;
    return runs;
}

// The lengths of the runs of one level, the first at the first sample's level.
std::vector<std::uint64_t> Runs(const std::vector<std::uint8_t>& packed, std::uint64_t count) {
    std::vector<std::uint64_t> lengths;
    for (std::uint64_t k = 0; k < count; ++k) {
        if (k == 0 || Level(packed, k) != Level(packed, k - 1))
            lengths.push_back(0);
        ++lengths.back();
    }
    return lengths;
}

} // namespace

TDecoding::TDecoding(TDecodingSetup setup, TFailed failed)
    : setup_(std::move(setup)), onFailed_(std::move(failed)),
      host_(setup_.HostProgram, setup_.HangLimit) {
    csv_ = setup_.Annotations.empty() ? stdout : std::fopen(setup_.Annotations.c_str(), "w");
    if (csv_ == nullptr)
        throw CannotWrite(CsvName());
    const std::string header = decode::AnnotationCsvHeader();
    if (std::fputs(header.c_str(), csv_) < 0 || std::fflush(csv_) != 0) {
        const auto error = CannotWrite(CsvName());
        if (csv_ != stdout)
            std::fclose(csv_);
        throw error;
    }
    thread_ = std::thread([this] { Run(); });
}

std::string TDecoding::CsvName() const {
    return setup_.Annotations.empty() ? "standard output" : setup_.Annotations;
}

TDecoding::~TDecoding() {
    Finish();
}

void TDecoding::Add(std::span<const double> levels) {
    const std::lock_guard lock(mutex_);
    const std::uint64_t offset = added_;
    added_ += levels.size();
    if (failed_ || closing_ || levels.empty())
        return;
    if (queued_ + levels.size() > setup_.QueueSamples) {
        dropped_ += levels.size();
        return;
    }
    // Samples that go on from the last piece's join it; after a drop a new piece starts.
    if (queue_.empty() || queue_.back().Offset + queue_.back().Count != offset)
        queue_.push_back({offset, 0, {}});
    TPiece& piece = queue_.back();
    for (const double level : levels) {
        if (piece.Count % 8 == 0)
            piece.Packed.push_back(0);
        if (level > 0.5)
            piece.Packed.back() |= static_cast<std::uint8_t>(0x80 >> (piece.Count % 8));
        ++piece.Count;
    }
    queued_ += levels.size();
    wake_.notify_one();
}

TDecodingEnd TDecoding::Finish() {
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
    if (csv_ != nullptr && csv_ != stdout)
        std::fclose(csv_);
    csv_ = nullptr;
    const std::lock_guard lock(mutex_);
    return {failed_, dropped_};
}

void TDecoding::Run() {
    try {
        for (std::optional<TPiece> piece; (piece = Next());)
            Decode(*piece);
        if (begun_)
            Write(host_.Finish());
    } catch (const std::exception& error) {
        {
            const std::lock_guard lock(mutex_);
            failed_ = true;
            queue_.clear();
            queued_ = 0;
        }
        const bool host = dynamic_cast<const decode::TDecodeError*>(&error) != nullptr;
        onFailed_(host ? "decoder: " + std::string(error.what()) : error.what());
    }
}

std::optional<TDecoding::TPiece> TDecoding::Next() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return !queue_.empty() || closing_; });
    if (queue_.empty())
        return std::nullopt;
    TPiece piece = std::move(queue_.front());
    queue_.pop_front();
    queued_ -= piece.Count;
    return piece;
}

void TDecoding::Decode(const TPiece& piece) {
    // After a drop the host's numbering no longer matches the recording's: that decoding ends
    // and a new one begins at this piece.
    if (begun_ && piece.Offset != next_) {
        Write(host_.Finish());
        begun_ = false;
    }
    if (!begun_) {
        host_.Begin(setup_.Stack, setup_.SampleRateHz);
        begun_ = true;
        base_ = piece.Offset;
    }
    next_ = piece.Offset + piece.Count;
    // Runs cost 8 bytes each, bits one byte in 8 samples: a quiet line goes as runs.
    if (RunCount(piece.Packed, piece.Count) * 64 < piece.Count)
        Write(host_.FeedRuns(Level(piece.Packed, 0) != 0, Runs(piece.Packed, piece.Count)));
    else
        Write(host_.Feed(piece.Packed, piece.Count));
}

void TDecoding::Write(const std::vector<decode::TAnnotation>& annotations) {
    if (annotations.empty())
        return;
    std::string lines;
    for (decode::TAnnotation annotation : annotations) {
        annotation.Start += base_;
        annotation.End += base_;
        lines += decode::AnnotationCsvLine(annotation, 0, setup_.MsPerSample);
    }
    if (std::fwrite(lines.data(), 1, lines.size(), csv_) != lines.size() || std::fflush(csv_) != 0)
        throw CannotWrite(CsvName());
}

} // namespace record
