#include "decode/client.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <iterator>
#include <cstring>
#include <poll.h>
#include <spawn.h>
#include <string_view>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "decode/protocol.h"

namespace decode {

namespace {

std::vector<std::string> CommaList(const std::string& text) {
    std::vector<std::string> items;
    if (text.empty())
        return items;
    for (std::size_t from = 0;;) {
        const auto comma = text.find(',', from);
        items.push_back(text.substr(from, comma - from));
        if (comma == std::string::npos)
            return items;
        from = comma + 1;
    }
}

std::uint64_t Number(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        throw std::invalid_argument(std::string(text));
    return value;
}

// An annotation's line, "ann START END DECODER ROW CLASS TEXT...", read field by field into the
// annotation: the host's densest answer, one every few samples, is read without a vector of its
// fields between. Throws std::logic_error for a field missing or not a number.
TAnnotation ReadAnnotation(std::string_view line) {
    bool last = false;
    auto next = [&] {
        if (last)
            throw std::out_of_range("an annotation with too few fields");
        const auto tab = line.find('\t');
        last = tab == std::string_view::npos;
        const std::string_view field = line.substr(0, tab);
        line.remove_prefix(last ? line.size() : tab + 1);
        return field;
    };
    next(); // "ann"
    TAnnotation annotation;
    annotation.Start = Number(next());
    annotation.End = Number(next());
    annotation.Decoder = UnescapeField(next());
    annotation.Row = UnescapeField(next());
    annotation.Class = UnescapeField(next());
    while (!last)
        annotation.Texts.push_back(UnescapeField(next()));
    return annotation;
}

} // namespace

THostProcess::THostProcess(std::string program, std::chrono::milliseconds limit)
    : program_(std::move(program)), limit_(limit) {}

THostProcess::~THostProcess() {
    Stop();
}

void THostProcess::Start() {
    // A socket pair rather than pipes: a write to a host that has died then fails with EPIPE
    // (MSG_NOSIGNAL) instead of raising SIGPIPE in our process.
    int input[2];
    int output[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0)
        throw TDecodeError("cannot start the decoder host: " + std::string(std::strerror(errno)));
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, output) != 0) {
        const int error = errno;
        close(input[0]);
        close(input[1]);
        throw TDecodeError("cannot start the decoder host: " + std::string(std::strerror(error)));
    }
    // posix_spawn rather than fork: the window that starts the host has threads running.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    // A process group of its own: the signals a terminal or a service manager sends to ours
    // (Ctrl+C, a stop) are for us to handle, and would otherwise end the host mid-decoding.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    char* const argv[] = {program_.data(), nullptr};
    pid_t pid = -1;
    const int error = posix_spawn(&pid, program_.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(input[1]);
    close(output[1]);
    if (error != 0) {
        close(input[0]);
        close(output[0]);
        throw TDecodeError("cannot start the decoder host " + program_ + ": " +
                           std::strerror(error));
    }
    pid_ = pid;
    toHost_ = input[0];
    fromHost_ = output[0];
    received_.clear();
}

void THostProcess::Stop() {
    decoding_ = false;
    if (pid_ < 0)
        return;
    close(toHost_);
    close(fromHost_);
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

void THostProcess::Fail(const std::string& message) {
    Stop();
    throw TDecodeError(message);
}

template <typename OnLine>
void THostProcess::Exchange(std::string_view out, bool untilLast, OnLine onLine) {
    if (pid_ < 0)
        Start();
    std::size_t sent = 0;
    auto lastProgress = std::chrono::steady_clock::now();
    for (;;) {
        // Whole lines already received first: the last one ends the exchange. They are cut off
        // together, as cutting each would move the rest of a long read once a line.
        std::size_t taken = 0;
        for (auto newline = received_.find('\n'); newline != std::string::npos;
             newline = received_.find('\n', taken)) {
            const std::string_view line(received_.data() + taken, newline - taken);
            taken = newline + 1;
            if (onLine(line)) {
                received_.erase(0, taken);
                return;
            }
        }
        received_.erase(0, taken);
        pollfd fds[2] = {{fromHost_, POLLIN, 0}, {toHost_, POLLOUT, 0}};
        const auto waited = std::chrono::steady_clock::now() - lastProgress;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit_ - waited);
        if (left.count() <= 0) {
            Fail("the decoder host answered nothing for " + std::to_string(limit_.count()) +
                 " ms and was stopped: a decoder may hang");
        }
        if (cancel_ && cancel_->load())
            Fail("the decoding was cancelled");
        // All sent and not waiting for the last line: only what is there already is read. With a
        // cancel flag to watch, no wait is longer than a moment.
        const bool sentAll = sent == out.size();
        const auto wait = cancel_ ? std::min(left, std::chrono::milliseconds(50)) : left;
        const int ready =
            poll(fds, sentAll ? 1 : 2, sentAll && !untilLast ? 0 : static_cast<int>(wait.count()));
        if (ready < 0 && errno != EINTR)
            Fail("cannot talk to the decoder host: " + std::string(std::strerror(errno)));
        if (ready == 0 && sentAll && !untilLast)
            return;
        if (ready <= 0)
            continue;
        if (fds[0].revents != 0) {
            char buffer[65536];
            const ssize_t got = read(fromHost_, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                int status = 0;
                waitpid(pid_, &status, 0);
                pid_ = -1;
                decoding_ = false;
                close(toHost_);
                close(fromHost_);
                throw TDecodeError(
                    WIFSIGNALED(status)
                        ? "the decoder host was ended by signal " +
                              std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) +
                              ")"
                        : "the decoder host ended with status " +
                              std::to_string(WEXITSTATUS(status)));
            }
            received_.append(buffer, static_cast<std::size_t>(got));
            lastProgress = std::chrono::steady_clock::now();
        }
        if (sent < out.size() && fds[1].revents != 0) {
            const ssize_t put =
                send(toHost_, out.data() + sent, out.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (put > 0) {
                sent += static_cast<std::size_t>(put);
                lastProgress = std::chrono::steady_clock::now();
            } else if (errno != EAGAIN && errno != EINTR) {
                sent = out.size(); // the host is gone; its end of file tells why
            }
        }
    }
}

std::vector<TDecoderInfo> THostProcess::ListDecoders() {
    if (decoding_)
        throw std::logic_error("ListDecoders during a decoding");
    std::vector<TDecoderInfo> decoders;
    try {
        Exchange("list\n", true, [&](std::string_view line) {
            const std::vector<std::string> f = SplitFields(line);
            const std::string& kind = f[0];
            if (kind == "listed")
                return true;
            if (kind == "error")
                Fail("the decoder host: " + f.at(1));
            if (kind == "decoder") {
                decoders.push_back({f.at(1), f.at(2) == "-" ? "" : f.at(2), CommaList(f.at(3)),
                                    CommaList(f.at(4)), f.at(5), f.at(6), {}, {}, {}});
            } else if (decoders.empty()) {
                Fail("the decoder host sent \"" + kind + "\" before any decoder");
            } else if (kind == "option") {
                decoders.back().Options.push_back(
                    {f.at(1), f.at(2), f.at(3), {f.begin() + 4, f.end()}});
            } else if (kind == "class") {
                decoders.back().Classes.push_back({f.at(1), f.at(2)});
            } else if (kind == "row") {
                decoders.back().Rows.push_back({f.at(1), f.at(2), CommaList(f.at(3))});
            }
            return false;
        });
    } catch (const std::out_of_range&) {
        Fail("the decoder host sent a line with too few fields");
    }
    return decoders;
}

std::vector<TAnnotation> THostProcess::Decode(const std::vector<TStackedDecoder>& stack,
                                              std::uint64_t sampleRateHz,
                                              std::span<const std::uint8_t> packed,
                                              std::uint64_t samples) {
    Begin(stack, sampleRateHz);
    auto annotations = Feed(packed, samples);
    auto rest = Finish();
    annotations.insert(annotations.end(), std::make_move_iterator(rest.begin()),
                       std::make_move_iterator(rest.end()));
    return annotations;
}

std::vector<TAnnotation> THostProcess::DecodeRuns(const std::vector<TStackedDecoder>& stack,
                                                  std::uint64_t sampleRateHz, bool firstLevel,
                                                  std::span<const std::uint64_t> lengths) {
    Begin(stack, sampleRateHz);
    auto annotations = FeedRuns(firstLevel, lengths);
    auto rest = Finish();
    annotations.insert(annotations.end(), std::make_move_iterator(rest.begin()),
                       std::make_move_iterator(rest.end()));
    return annotations;
}

void THostProcess::Begin(const std::vector<TStackedDecoder>& stack, std::uint64_t sampleRateHz) {
    if (decoding_)
        Stop(); // mid-decoding, the host cannot be told to drop what it has
    std::string out;
    for (const TStackedDecoder& decoder : stack) {
        std::vector<std::string> fields{"stack", decoder.Id};
        for (const auto& [id, value] : decoder.Options)
            fields.push_back(id + "=" + value);
        out += JoinFields(fields);
    }
    out += JoinFields({"samplerate", std::to_string(sampleRateHz)});
    decoding_ = true;
    // The host answers nothing to these, unless it has already failed.
    Decoding(out, false);
}

std::vector<TAnnotation> THostProcess::Feed(std::span<const std::uint8_t> packed,
                                            std::uint64_t samples) {
    if (packed.size() < (samples + 7) / 8)
        throw std::invalid_argument("fewer packed bytes than samples");
    std::string command;
    if (samples > 0) {
        command = JoinFields({"bits", std::to_string(samples)});
        command.append(reinterpret_cast<const char*>(packed.data()), (samples + 7) / 8);
    }
    return Decoding(command, false);
}

std::vector<TAnnotation> THostProcess::FeedRuns(bool firstLevel,
                                                std::span<const std::uint64_t> lengths) {
    std::string command;
    if (!lengths.empty()) {
        command = JoinFields({"runs", firstLevel ? "1" : "0", std::to_string(lengths.size())});
        for (std::uint64_t length : lengths)
            for (int b = 0; b < 8; ++b, length >>= 8)
                command += static_cast<char>(length & 0xFF);
    }
    return Decoding(command, false);
}

std::vector<TAnnotation> THostProcess::Finish() {
    auto annotations = Decoding("end\n", true);
    decoding_ = false;
    return annotations;
}

std::vector<TAnnotation> THostProcess::Decoding(std::string_view out, bool untilDone) {
    if (!decoding_)
        throw std::logic_error("no decoding begun");
    std::vector<TAnnotation> annotations;
    try {
        Exchange(out, untilDone, [&](std::string_view line) {
            if (line.substr(0, line.find('\t')) == "ann") {
                annotations.push_back(ReadAnnotation(line));
                return false;
            }
            const std::vector<std::string> f = SplitFields(line);
            if (f[0] == "done")
                return true;
            if (f[0] == "error")
                Fail(f.at(1));
            return false;
        });
    } catch (const std::logic_error&) { // a field missing or not a number
        Fail("the decoder host sent a line that is not of the protocol");
    }
    return annotations;
}

} // namespace decode
