// talvir-record: the recorder for scripts and test benches. Reads the command line, records, writes
// the file and answers with an exit status that says what happened.

#include "record/notices.h"
#include "record/options.h"
#include "record/output.h"
#include "record/session.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<bool> StopRequested{false};

extern "C" void RequestStop(int) {
    StopRequested = true;
}

// A bar on a terminal, redrawn in place; plain lines elsewhere, at most one per change of tenth.
class TProgressReport {
public:
    explicit TProgressReport(bool quiet) : quiet_(quiet), terminal_(isatty(STDERR_FILENO) == 1) {}

    void operator()(int completed, int total) {
        if (quiet_)
            return;
        if (terminal_) {
            constexpr int Width = 30;
            const int filled = static_cast<int>(static_cast<long long>(completed) * Width / total);
            std::fprintf(stderr, "\r[%s%s] %d/%d sweeps", std::string(filled, '#').c_str(),
                         std::string(Width - filled, ' ').c_str(), completed, total);
            if (completed == total)
                std::fputc('\n', stderr);
            return;
        }
        const int tenth = static_cast<int>(static_cast<long long>(completed) * 10 / total);
        if (completed == total || tenth != lastTenth_) {
            lastTenth_ = tenth;
            std::fprintf(stderr, "talvir-record: %d of %d sweeps\n", completed, total);
        }
    }

    // Ends a bar left unfinished, so that a message starts on a line of its own.
    void Finish(int completed, int total) const {
        if (!quiet_ && terminal_ && completed > 0 && completed < total)
            std::fputc('\n', stderr);
    }

private:
    bool quiet_;
    bool terminal_;
    int lastTenth_ = -1;
};

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

    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    TProgressReport progress(options.Quiet);
    const record::TRecording recording = record::Record(
        options,
        [&] {
            notice(record::PeriodNotice(options));
            notice(record::LineRateNotice(options));
        },
        [&progress](int completed, int total) { progress(completed, total); }, StopRequested);
    progress.Finish(recording.CompletedSweeps, options.Sweeps);
    if (record::LineSlowerThanDevice(options))
        notice(record::ReceivedNotice(recording));
    if (recording.Status != record::stOk)
        std::fprintf(stderr, "talvir-record: %s\n", recording.Message.c_str());

    // What was completed is written whatever ended the recording.
    if (recording.CompletedSweeps == 0)
        return recording.Status != record::stOk ? recording.Status : record::stOther;
    try {
        record::WriteRecording(options, recording);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "talvir-record: %s\n", record::WriteFailure(options, error).c_str());
        return recording.Status != record::stOk ? recording.Status : record::stWriteFailed;
    }
    return recording.Status;
}
