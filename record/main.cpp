// talvir-record: the recorder for scripts and test benches. Reads the command line, records, writes
// the file and answers with an exit status that says what happened.

#include "acquisition/timing.h"
#include "decode/host_program.h"
#include "decode/protocol.h"
#include "record/decoding.h"
#include "record/notices.h"
#include "record/options.h"
#include "record/output.h"
#include "record/session.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdint>
#include <exception>
#include <memory>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The handler only sets the flag, which is safe in a handler because the flag takes no lock; the
// session's message loop looks at it every few milliseconds while it waits.
std::atomic<bool> StopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void RequestStop(int) {
    StopRequested = true;
}

// A bar on a terminal, redrawn in place where its text changes; plain lines elsewhere, at most one
// per change of tenth (of ten seconds without a limit). Counts sweeps, or seconds of samples for
// --seconds.
class TProgressReport {
public:
    TProgressReport(const record::TRecordOptions& options)
        : quiet_(options.Quiet), terminal_(isatty(STDERR_FILENO) == 1),
          seconds_(options.Seconds.has_value()),
          periodMs_(acquisition::ConfirmedPeriod(options.PeriodMs)) {}

    void operator()(std::uint64_t done, std::uint64_t total) {
        if (quiet_)
            return;
        const std::string amount = Amount(done);
        const std::string unit = seconds_ ? " s" : " sweeps";
        if (terminal_) {
            constexpr std::uint64_t Width = 30;
            std::string text = "\r" + amount + unit;
            if (total != 0) {
                const std::uint64_t filled = done * Width / total;
                text = "\r[" + std::string(filled, '#') + std::string(Width - filled, ' ') + "] " +
                       amount + "/" + Amount(total) + unit;
            }
            if (text != shown_)
                std::fputs(text.c_str(), stderr);
            shown_ = text;
            if (total != 0 && done == total)
                std::fputc('\n', stderr);
            return;
        }
        const std::uint64_t tenth =
            total != 0 ? done * 10 / total
                       : static_cast<std::uint64_t>(static_cast<long double>(done) * periodMs_ / 1e4L);
        if (done == total || tenth != lastTenth_) {
            lastTenth_ = tenth;
            std::fprintf(stderr, "talvir-record: %s%s%s\n", amount.c_str(),
                         total != 0 ? (" of " + Amount(total)).c_str() : "", unit.c_str());
        }
    }

    // Ends a bar left unfinished, so that a message starts on a line of its own.
    void Finish() const {
        if (!shown_.empty() && !shown_.ends_with("\n"))
            std::fputc('\n', stderr);
    }

private:
    std::string Amount(std::uint64_t count) const {
        if (!seconds_)
            return std::to_string(count);
        return record::NumberText(static_cast<long double>(count) * periodMs_ / 1000,
                                  std::chars_format::fixed, 1);
    }

    bool quiet_;
    bool terminal_;
    bool seconds_;
    long double periodMs_;
    std::uint64_t lastTenth_ = ~std::uint64_t{0};
    std::string shown_;
};

// The decoding of the recording as --decode asks; throws std::runtime_error where the annotations
// cannot be written.
std::unique_ptr<record::TDecoding> StartDecoding(const record::TRecordOptions& options,
                                                 const char* argv0) {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        self = argv0;
    const long double periodMs = acquisition::ConfirmedPeriod(options.PeriodMs);
    record::TDecodingSetup setup;
    setup.Stack = options.Decoders;
    setup.HostProgram = decode::HostProgram(self.string());
    setup.SampleRateHz =
        decode::SampleRateHz(static_cast<unsigned>(acquisition::PeriodToDivider(periodMs)));
    setup.MsPerSample = static_cast<double>(periodMs);
    setup.Annotations = options.Annotations;
    // A reader of the annotations that goes away ends their writing, not the recording.
    std::signal(SIGPIPE, SIG_IGN);
    // A failure comes while the progress bar is drawn on a terminal: its line starts anew.
    const bool bar = isatty(STDERR_FILENO) == 1 && !options.Quiet;
    return std::make_unique<record::TDecoding>(std::move(setup), [bar](const std::string& line) {
        std::fprintf(stderr, "%stalvir-record: %s\n", bar ? "\n" : "", line.c_str());
    });
}

// What was recorded is written whatever ended the recording, unless the writing itself failed.
// The status of the recording and its file.
int WriteOutput(const record::TRecordOptions& options, record::TOutput& output,
                const record::TRecording& recording) {
    if (output.Samples() == 0 || output.Broken())
        return recording.Status != record::stOk ? recording.Status : record::stOther;
    try {
        output.Finish(recording);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "talvir-record: %s\n", record::WriteFailure(options, error).c_str());
        return recording.Status != record::stOk ? recording.Status : record::stWriteFailed;
    }
    if (const auto text = record::DataFileLengthNotice(options, recording.Samples);
        text && !options.Quiet)
        std::fprintf(stderr, "talvir-record: %s\n", text->c_str());
    return recording.Status;
}

} // namespace

int main(int argc, char** argv) {
    const record::TParsedCommandLine parsed =
        record::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.Help) {
        std::fputs(record::HelpText().c_str(), stdout);
        return record::stOk;
    }
    if (parsed.Version) {
        std::printf("talvir-record %s\n", TALVIR_VERSION);
        return record::stOk;
    }
    if (!parsed.Options) {
        std::fprintf(stderr, "talvir-record: %s\nTry 'talvir-record --help'.\n",
                     parsed.Error.c_str());
        return record::stUsage;
    }
    const record::TRecordOptions& options = *parsed.Options;
    // A file that cannot be written would lose the whole recording at its end.
    if (const auto problem = record::OutputProblem(options)) {
        std::fprintf(stderr, "talvir-record: %s\n", problem->c_str());
        return record::stWriteFailed;
    }
    const auto notice = [&options](const std::optional<std::string>& text) {
        if (text && !options.Quiet)
            std::fprintf(stderr, "talvir-record: %s\n", text->c_str());
    };

    // The file is written as the samples come, beside its name until the recording is whole.
    std::optional<record::TOutput> output;
    try {
        output.emplace(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "talvir-record: %s\n", record::WriteFailure(options, error).c_str());
        return record::stWriteFailed;
    }

    std::unique_ptr<record::TDecoding> decoding;
    if (!options.Decoders.empty()) {
        try {
            decoding = StartDecoding(options, argv[0]);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "talvir-record: %s\n", error.what());
            return record::stWriteFailed;
        }
    }

    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    TProgressReport progress(options);
    const record::TRecording recording = record::Record(
        options,
        [&] {
            output->Start();
            notice(record::PeriodNotice(options));
            notice(record::LineRateNotice(options));
        },
        [&progress](std::uint64_t done, std::uint64_t total) { progress(done, total); },
        [&output, &decoding](std::span<const double> levels) {
            output->Add(levels);
            if (decoding)
                decoding->Add(levels);
        },
        [&output](std::span<const std::uint8_t> bytes) { output->AddBytes(bytes); },
        StopRequested);
    progress.Finish();
    if (record::LineSlowerThanDevice(options))
        notice(record::ReceivedNotice(recording));
    if (recording.Status != record::stOk)
        std::fprintf(stderr, "talvir-record: %s\n", recording.Message.c_str());

    const int status = WriteOutput(options, *output, recording);
    if (!decoding)
        return status;
    const record::TDecodingEnd decoded = decoding->Finish();
    if (decoded.Undecoded != 0)
        notice(std::to_string(decoded.Undecoded) +
               " samples went undecoded: the decoder did not keep up with the recording");
    return status == record::stOk && decoded.Failed ? record::stDecodingFailed : status;
}
