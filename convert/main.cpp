// talvir-convert: a recording file, or a range of it, written as a trace file of another kind.
// Reads the command line, converts and answers with an exit status that says what happened.

#include "capture/reader.h"
#include "convert/command_line.h"
#include "convert/range.h"
#include "files/io_error.h"
#include "trace/data_file.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The exit statuses; see ConvertHelpText.
enum TStatus : int { stOk = 0, stRead = 1, stUsage = 2, stWrite = 3 };

// An error's lines as one.
std::string OneLine(const files::EInOutError& error) {
    std::string text = error.what();
    for (std::size_t at; (at = text.find('\n')) != std::string::npos;)
        text.replace(at, 1, ": ");
    return text;
}

} // namespace

int main(int argc, char** argv) {
    const convert::TConvertCommandLine parsed =
        convert::ParseConvertCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.Help) {
        std::fputs(convert::ConvertHelpText().c_str(), stdout);
        return stOk;
    }
    if (parsed.Version) {
        std::printf("talvir-convert %s\n", TALVIR_VERSION);
        return stOk;
    }
    if (!parsed.Options) {
        std::fprintf(stderr, "talvir-convert: %s\nTry 'talvir-convert --help'.\n",
                     parsed.Error.c_str());
        return stUsage;
    }
    const convert::TConvertOptions& options = *parsed.Options;
    std::optional<capture::TRecordingReader> reader;
    try {
        reader.emplace(options.In);
    } catch (const files::EInOutError& error) {
        std::fprintf(stderr, "talvir-convert: cannot read %s\n", OneLine(error).c_str());
        return stRead;
    }
    const convert::TRangeChoice choice = convert::ChooseRange(*reader, options.FromMs, options.ToMs);
    if (!choice.Range) {
        std::fprintf(stderr, "talvir-convert: %s: %s\n", options.In.c_str(), choice.Error.c_str());
        return stUsage;
    }

    // A bar only where someone watches it.
    const bool terminal = isatty(STDERR_FILENO) == 1;
    int shown = -1;
    const auto progress = [&](std::uint64_t done, std::uint64_t total) {
        const int percent = static_cast<int>(done * 100 / total);
        if (terminal && percent != shown)
            std::fprintf(stderr, "\rtalvir-convert: %3d %%", percent);
        shown = percent;
        return true;
    };
    try {
        convert::WriteRange(*reader, *choice.Range, options.Out, options.Format, progress);
    } catch (const files::EInOutError& error) {
        if (terminal && shown >= 0)
            std::fputc('\n', stderr);
        if (error.Text() == "Damaged block") {
            std::fprintf(stderr,
                         "talvir-convert: cannot convert %s: %s; convert the parts before and "
                         "after with --to and --from\n",
                         options.In.c_str(), OneLine(error).c_str());
            return stRead;
        }
        // The detail names the file that failed: the recording, or the one being written.
        const std::string what = error.what();
        const std::string detail = what.substr(std::min(what.size(), error.Text().size() + 1));
        const bool reading = detail == options.In || detail.starts_with(options.In + ": ");
        std::fprintf(stderr, "talvir-convert: cannot %s %s%s\n", reading ? "read" : "write",
                     OneLine(error).c_str(), reading ? "" : "; the file is left as it was");
        return reading ? stRead : stWrite;
    }
    if (terminal && shown >= 0)
        std::fputc('\n', stderr);
    if (options.Format == convert::TFormat::DataFile)
        if (const auto notice = trace::LongDataFileNotice(options.Out, choice.Range->Count()))
            std::fprintf(stderr, "talvir-convert: %s\n", notice->c_str());
    return stOk;
}
