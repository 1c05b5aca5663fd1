#include "convert/sigrok.h"

#include "files/file_io.h"
#include "files/io_error.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

namespace convert {

namespace {

// Levels read from the recording at a time while a piece is compressed.
constexpr std::uint64_t ReadSamples = 1 << 20;

// One piece of samples, read from the recording when the zip asks for its bytes. Exceptions must
// not cross libzip: a failed read is kept and thrown again once libzip has given up.
struct TPiece {
    const capture::TRecordingReader* Reader = nullptr;
    std::uint64_t First = 0;
    std::uint64_t Count = 0;
    std::uint64_t At = 0;
    zip_error_t Error{}; // zeroed: no error, no text to free
    std::exception_ptr* Failure = nullptr;
};

zip_int64_t ReadPiece(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    TPiece& piece = *static_cast<TPiece*>(state);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        piece.At = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        const std::uint64_t count = std::min({length, piece.Count - piece.At, ReadSamples});
        if (count == 0)
            return 0;
        try {
            const std::vector<std::uint8_t> levels =
                piece.Reader->ReadLevels(piece.First + piece.At, static_cast<std::size_t>(count));
            std::memcpy(data, levels.data(), levels.size());
        } catch (...) {
            *piece.Failure = std::current_exception();
            zip_error_set(&piece.Error, ZIP_ER_READ, EIO);
            return -1;
        }
        piece.At += count;
        return static_cast<zip_int64_t>(count);
    }
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* stat = static_cast<zip_stat_t*>(data);
        zip_stat_init(stat);
        stat->size = piece.Count;
        stat->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&piece.Error, data, length);
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              -1);
    default:
        zip_error_set(&piece.Error, ZIP_ER_INVAL, 0);
        return -1;
    }
}

struct TClosing {
    const TProgress* Progress = nullptr;
    std::uint64_t Total = 0;
    bool Cancelled = false;
};

void Progressed(zip_t*, double fraction, void* state) {
    auto& closing = *static_cast<TClosing*>(state);
    if (*closing.Progress && !closing.Cancelled)
        closing.Cancelled = !(*closing.Progress)(
            static_cast<std::uint64_t>(fraction * static_cast<double>(closing.Total)),
            closing.Total);
}

int Cancelled(zip_t*, void* state) {
    return static_cast<TClosing*>(state)->Cancelled ? 1 : 0;
}

// The error libzip met on the archive, as the file's error.
[[noreturn]] void ThrowZipError(zip_error_t* error, const std::string& path) {
    files::ThrowFileError(zip_error_system_type(error) == ZIP_ET_SYS ? zip_error_code_system(error)
                                                                     : EIO,
                          path);
}

struct TArchiveDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};

// Adds `source` under `name`; libzip owns the source from then on, also when this fails. Deflate's
// fastest level: a byte a sample holds seven bits of nothing, which even it takes away, while its
// default level spends many times longer looking for matches in the runs.
void Add(zip_t* archive, const std::string& name, zip_source_t* source, const std::string& path) {
    const zip_int64_t index =
        source == nullptr ? -1 : zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        ThrowZipError(zip_get_error(archive), path);
    }
    if (zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1) != 0)
        ThrowZipError(zip_get_error(archive), path);
}

} // namespace

std::string SigrokMetadata(double samplesPerSecond) {
    // The version of libsigrok whose reader our tests check the files against.
    return "[global]\nsigrok version=0.5.2\n\n[device 1]\ncapturefile=logic-1\ntotal probes=1\n"
           "samplerate=" +
           std::to_string(std::llround(samplesPerSecond)) + " Hz\nprobe1=" + SigrokChannel +
           "\nunitsize=1\n";
}

bool WriteSigrokSession(const capture::TRecordingReader& reader, const TSampleRange& range,
                        const std::string& path, const TProgress& progress) {
    files::CheckFileReplaceable(path);
    // What the archive's sources read lives longer than the archive, which reads them at its close
    // and frees them at its end.
    static const std::string version = "2";
    const std::string metadata = SigrokMetadata(1.0 / reader.Header().SamplePeriodSeconds());
    std::exception_ptr failure;
    std::vector<TPiece> pieces((range.Count() + SigrokPieceSamples - 1) / SigrokPieceSamples);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        TPiece& piece = pieces[i];
        piece.Reader = &reader;
        piece.First = range.First + i * SigrokPieceSamples;
        piece.Count = std::min(SigrokPieceSamples, range.Last + 1 - piece.First);
        piece.Failure = &failure;
    }
    TClosing closing{&progress, range.Count()};

    int code = 0;
    // libzip writes the archive to a temporary file beside `path`, which takes the name at the end.
    std::unique_ptr<zip_t, TArchiveDiscard> archive(
        zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code));
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        ThrowZipError(&error, path);
    }
    Add(archive.get(), "version",
        zip_source_buffer(archive.get(), version.data(), version.size(), 0), path);
    Add(archive.get(), "metadata",
        zip_source_buffer(archive.get(), metadata.data(), metadata.size(), 0), path);
    for (std::size_t i = 0; i < pieces.size(); ++i)
        Add(archive.get(), "logic-1-" + std::to_string(i + 1),
            zip_source_function(archive.get(), ReadPiece, &pieces[i]), path);
    zip_register_progress_callback_with_state(archive.get(), 0.001, Progressed, nullptr, &closing);
    zip_register_cancel_callback_with_state(archive.get(), Cancelled, nullptr, &closing);
    if (zip_close(archive.get()) == 0) {
        archive.release(); // closed, and freed with it
        return true;
    }
    if (closing.Cancelled)
        return false;
    if (failure)
        std::rethrow_exception(failure);
    ThrowZipError(zip_get_error(archive.get()), path);
}

} // namespace convert
