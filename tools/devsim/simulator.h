#pragma once
// The simulator's main loop: the line read, the commands answered and the sample stream paced.

#include <cstdint>
#include <memory>
#include <string>

#include "devsim/command_parser.h"
#include "devsim/event_log.h"
#include "devsim/options.h"
#include "devsim/pacer.h"
#include "devsim/pty.h"
#include "devsim/sources.h"

namespace devsim {

// Bytes per second a device streams at divider n, capped by a line of `baud` (10 bits a byte
// at 8N1) unless the rate mode is Max. A baud rate of 0 is unknown and caps nothing.
long double StreamRate(unsigned divider, unsigned baud, RateMode mode);

// The device's single-threaded loop: reads what the recorder sends on the master side,
// answers through CommandParser and paces the sample stream.
class Simulator {
public:
    Simulator(const Options& options, PseudoTerminal& line, EventLog& log,
              const SignalFactory& signals);

    // Runs until a signal arrives on `signalFd` or the hang-up fault has closed the line.
    // Throws std::system_error when the line fails.
    void Run(int signalFd);

private:
    using Nanos = Pacer::Nanos;

    static Nanos Now();
    void ReadInput(Nanos now);
    void Answer(const Reply& reply, Nanos now);
    void CheckLineSpeed(Nanos now);
    void Produce(Nanos now);
    void Flush();
    Nanos Timeout(Nanos now) const;
    void FinishHangup();

    const Options& options_;
    const Faults& faults_;
    PseudoTerminal& line_;
    EventLog& log_;
    const SignalFactory& signals_;
    CommandParser parser_;

    std::unique_ptr<SampleSource> source_;
    Pacer pacer_;
    unsigned divider_ = 0;
    unsigned baud_ = 0;
    // Bytes the master has not taken yet: answers first, then sample bytes at the tail.
    std::string pending_;
    std::size_t pendingSamples_ = 0;
    std::uint64_t streamed_ = 0;  // sample bytes written in the current stream
    std::uint64_t generated_ = 0; // sample bytes made since the program started, less dropped
    bool stallDone_ = false;
    Nanos stallUntil_ = 0;
    bool hangupReached_ = false;
};

} // namespace devsim
