#include "devsim/simulator.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <system_error>
#include <thread>

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace devsim {

namespace {

// Sample bytes go out in chunks of about this many nanoseconds' worth: smooth enough for any
// reader, few enough wake-ups for a slow machine.
constexpr Pacer::Nanos kChunkTime = 2'000'000;
// The loop wakes at least this often while streaming, to notice a changed line speed.
constexpr Pacer::Nanos kLongestSleep = 50'000'000;
// What one step may make at --rate max.
constexpr std::size_t kMaxChunk = 16384;
// A reader that stopped reading does not keep the hang-up from happening for ever.
constexpr auto kHangupDrainLimit = std::chrono::seconds(2);

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

std::string Describe(const Command& command) {
    return std::string(command.test ? "RT" : "RP") + " divider=" + std::to_string(command.divider);
}

} // namespace

long double StreamRate(unsigned divider, unsigned baud, RateMode mode) {
    const long double device = SamplesPerSecond(divider) / 8.0L;
    if (mode == RateMode::Max || baud == 0)
        return device;
    return std::min(device, baud / 10.0L);
}

Simulator::Simulator(const Options& options, PseudoTerminal& line, EventLog& log,
                     const SignalFactory& signals)
    : options_(options), faults_(options.faults), line_(line), log_(log), signals_(signals),
      parser_(options.faults) {}

Simulator::Nanos Simulator::Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Simulator::Run(int signalFd) {
    for (;;) {
        const Nanos now = Now();
        if (parser_.Streaming()) {
            CheckLineSpeed(now);
            Produce(now);
        }
        Flush();
        if (hangupReached_ && pending_.empty()) {
            FinishHangup();
            return;
        }

        pollfd fds[2] = {{line_.Master(), POLLIN, 0}, {signalFd, POLLIN, 0}};
        if (!pending_.empty())
            fds[0].events |= POLLOUT;
        const Nanos timeout = Timeout(now);
        timespec wait{timeout / 1'000'000'000, timeout % 1'000'000'000};
        if (ppoll(fds, 2, timeout < 0 ? nullptr : &wait, nullptr) < 0) {
            if (errno == EINTR)
                continue;
            Fail("poll");
        }
        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info{};
            const bool got = read(signalFd, &info, sizeof info) == sizeof info;
            log_.Event(std::string("signal ") +
                       (got ? sigabbrev_np(static_cast<int>(info.ssi_signo)) : "?") +
                       ", streamed=" + std::to_string(streamed_));
            return;
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR))
            ReadInput(Now());
    }
}

void Simulator::ReadInput(Nanos now) {
    char buffer[4096];
    const ssize_t n = read(line_.Master(), buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    // We hold the slave open ourselves, so this is no reader going away but a broken line.
    if (n == 0)
        errno = EIO;
    if (n <= 0)
        Fail("reading the line");
    const std::string_view bytes(buffer, static_cast<std::size_t>(n));
    log_.Received(bytes);
    for (const Reply& reply : parser_.Receive(bytes))
        Answer(reply, now);
}

void Simulator::Answer(const Reply& reply, Nanos now) {
    switch (reply.kind) {
    case Reply::Kind::Prompt:
        log_.Event(faults_.noise.empty()
                       ? "prompt"
                       : "prompt after noise \"" + Printable(faults_.noise) + "\"");
        break;
    case Reply::Kind::PromptWithheld:
        log_.Event(faults_.noise.empty()
                       ? "prompt withheld"
                       : "prompt withheld after noise \"" + Printable(faults_.noise) + "\"");
        break;
    case Reply::Kind::Start:
        log_.Event("echo \"" + Printable(reply.bytes) + "\" " + Describe(reply.command));
        source_ = signals_.Start(reply.command);
        divider_ = reply.command.divider;
        streamed_ = 0;
        baud_ = line_.LineSpeed();
        pacer_.Start(now, StreamRate(divider_, baud_, options_.rate));
        log_.Event("stream " +
                   (options_.rate == RateMode::Max
                        ? std::string("as fast as the reader takes it")
                        : std::to_string(static_cast<long long>(std::llround(pacer_.Rate()))) +
                              " bytes/s") +
                   ", line " + std::to_string(baud_) + " baud");
        break;
    case Reply::Kind::EchoWithheld:
        log_.Event("echo withheld for \"" + Printable(reply.line) + "\" " +
                   Describe(reply.command));
        break;
    case Reply::Kind::Unknown:
        log_.Event("unknown \"" + Printable(reply.line) + "\"");
        break;
    case Reply::Kind::Stop:
        // Bytes made but not yet taken were never sent; the fault positions count sent bytes.
        pending_.resize(pending_.size() - pendingSamples_);
        generated_ -= pendingSamples_;
        pendingSamples_ = 0;
        stallUntil_ = 0;
        log_.Event("stop, streamed=" + std::to_string(streamed_));
        break;
    }
    pending_ += reply.bytes;
}

void Simulator::CheckLineSpeed(Nanos now) {
    const unsigned baud = line_.LineSpeed();
    if (baud == baud_)
        return;
    baud_ = baud;
    pacer_.Restart(now, StreamRate(divider_, baud_, options_.rate));
    log_.Event("line " + std::to_string(baud_) + " baud, stream " +
               std::to_string(static_cast<long long>(std::llround(pacer_.Rate()))) + " bytes/s");
}

void Simulator::Produce(Nanos now) {
    if (hangupReached_ || pendingSamples_ > 0)
        return;
    if (stallUntil_ != 0) {
        if (now < stallUntil_)
            return;
        stallUntil_ = 0;
        pacer_.Restart(now, pacer_.Rate());
        log_.Event("stall over");
    }
    std::uint64_t count = options_.rate == RateMode::Max ? kMaxChunk : pacer_.Due(now);
    if (faults_.hangupAfterBytes)
        count = std::min(count, *faults_.hangupAfterBytes - generated_);
    const bool stallAhead = faults_.stall && !stallDone_;
    if (stallAhead)
        count = std::min(count, faults_.stall->afterBytes -
                                    std::min(generated_, faults_.stall->afterBytes));
    for (std::uint64_t i = 0; i < count; ++i)
        pending_ += static_cast<char>(source_->NextByte());
    pendingSamples_ += count;
    generated_ += count;
    pacer_.Sent(count);
    if (stallAhead && generated_ >= faults_.stall->afterBytes) {
        stallDone_ = true;
        stallUntil_ = now + faults_.stall->ms * 1'000'000;
        log_.Event("stall " + std::to_string(faults_.stall->ms) + " ms after " +
                   std::to_string(generated_) + " bytes");
    }
    if (faults_.hangupAfterBytes && generated_ >= *faults_.hangupAfterBytes)
        hangupReached_ = true;
}

void Simulator::Flush() {
    while (!pending_.empty()) {
        const ssize_t n = write(line_.Master(), pending_.data(), pending_.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0)
            Fail("writing the line");
        const auto written = static_cast<std::size_t>(n);
        const std::size_t answers = pending_.size() - pendingSamples_;
        const std::size_t samples = written > answers ? written - answers : 0;
        streamed_ += samples;
        pendingSamples_ -= samples;
        pending_.erase(0, written);
    }
}

Simulator::Nanos Simulator::Timeout(Nanos now) const {
    if (!parser_.Streaming() || hangupReached_)
        return pending_.empty() ? -1 : kLongestSleep;
    if (pendingSamples_ > 0)
        return kLongestSleep; // POLLOUT wakes us when the reader makes room
    if (stallUntil_ != 0)
        return std::max<Nanos>(0, stallUntil_ - now);
    if (options_.rate == RateMode::Max)
        return 0;
    const auto chunk =
        std::max<std::uint64_t>(1, static_cast<std::uint64_t>(pacer_.Rate() * kChunkTime / 1e9L));
    return std::clamp<Nanos>(pacer_.WaitFor(chunk, now), 0, kLongestSleep);
}

void Simulator::FinishHangup() {
    // A pseudo-terminal drops what its reader has not taken when the master closes; a device
    // unplugged after k bytes has delivered those k bytes, so wait until they are read.
    const auto limit = std::chrono::steady_clock::now() + kHangupDrainLimit;
    int emptyChecks = 0;
    while (emptyChecks < 2 && std::chrono::steady_clock::now() < limit) {
        emptyChecks = line_.UnreadBySlave() == 0 ? emptyChecks + 1 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    log_.Event("hangup after " + std::to_string(generated_) + " bytes, unread " +
               std::to_string(line_.UnreadBySlave()));
    line_.Hangup();
}

} // namespace devsim
