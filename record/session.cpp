#include "record/session.h"

#include "acquisition/device_session.h"
#include "acquisition/sweep.h"
#include "acquisition/timing.h"
#include "record/notices.h"
#include "record/output.h"
#include "serial/errors.h"
#include "serial/port_map.h"
#include "serial/ports_ini.h"
#include "serial/serial_port.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <exception>
#include <optional>
#include <span>
#include <stdexcept>

namespace record {

namespace {

using Clock = std::chrono::steady_clock;

// A sweep shorter than a byte could end twice within one byte, and the recording would hold one
// sweep more than asked for.
constexpr std::int32_t ShortestSweep = 8;
// Whatever a sweep's bytes take, the machine may be busy for a moment.
constexpr auto LeastSweepWait = std::chrono::seconds(1);
constexpr auto PollStep = std::chrono::milliseconds(50);

double Seconds(Clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

// The device a port name leads to: a COM name's through the port map, which names itself where
// it cannot be read.
std::string DeviceOf(const std::string& port) {
    const std::uint16_t com = ComNumberOf(port);
    if (com == 0)
        return port;
    try {
        return serial::PortDevicePath(com);
    } catch (const std::exception&) {
        return port;
    }
}

// The status and line for a port that would not open: its code (negative, or a platform error
// number for an input/output error) and its text. The port's own texts are written for the
// window; here the line says what is wrong with the port in words, and what to do.
TRecording OpenFailure(const TRecordOptions& options, int code, const char* text) {
    TRecording failed;
    const std::string device = DeviceOf(options.Port);
    const bool com = device != options.Port;
    std::string line;
    if (code == serial::ecBadId) {
        failed.Status = stPortMissing;
        const std::string map = serial::PortsIniPath();
        line = "there is no serial port at " + device +
               (com ? ", where " + options.Port + " leads; plug the device in, map " +
                          options.Port + " to its device in " + (map.empty() ? "ports.ini" : map) +
                          " or give --port its device path"
                    : "; plug the device in, or check the path");
    } else if (code == serial::ecAlreadyOpen) {
        failed.Status = stPortHeld;
        line = "another program holds " +
               (com ? device + ", where " + options.Port + " leads" : "the port") +
               "; close it, then try again";
    } else {
        failed.Status = code == serial::ecAccessDenied || code == -serial::ecAccessDenied
                            ? stNoPermission
                            : stOther;
        // One line: a text's own lines become sentences of it.
        line = text;
        for (std::size_t at; (at = line.find('\n')) != std::string::npos;)
            line.replace(at, 1, ". ");
    }
    failed.Message = "cannot open " + options.Port + ": " + line;
    return failed;
}

// The decoder writes each sweep into one buffer and tells the session when a sweep is complete,
// before it writes any sample of the next one over it.
class TSession final : private acquisition::TSweepTarget {
public:
    TSession(const TRecordOptions& options, const TStarted& started, const TProgress& progress,
             const TSamples& samples, const TBytes& bytes)
        : options_(options), started_(started), progress_(progress), samples_(samples),
          bytes_(bytes), port_(&loop_) {}

    TRecording Run(const std::atomic<bool>& stop);

private:
    bool SetUpSweep();
    bool Open();
    void OnAvail(std::uint16_t count);
    // Hands the completed sweep on, or as much of it as --seconds still wants.
    void SweepCompleted() override;
    // Whether the recording holds all its limit asks for.
    bool Complete() const;
    // Of `count` samples more, those the limit still wants.
    std::size_t Wanted(std::size_t count) const;
    void Deliver(std::span<const double> levels);
    // Hands on the bytes decoded since the last call.
    void DeliverBytes();
    // A write of the file failed: the recording ends with WriteFailure's line.
    void WriteFailed(const std::exception& error);
    // Hands on the samples of the sweep under way, as many as the limit wants.
    void TakeSweepUnderWay();
    void Report();
    // A signal has ended the recording: an interruption where it has a limit, its end where it has
    // none.
    void Stopped();
    void Fail(TStatus status, std::string message);
    void Collect(const std::atomic<bool>& stop);
    void Stop();

    const TRecordOptions& options_;
    const TStarted& started_;
    const TProgress& progress_;
    const TSamples& samples_;
    const TBytes& bytes_;
    serial::TPlainMessageLoop loop_;
    serial::TSerialPort port_;
    acquisition::TSweep sweep_;
    acquisition::TIntegrityMonitor integrity_;
    double deviceRate_ = 0;
    double lineRate_ = 0;
    std::vector<double> levels_;
    std::vector<std::uint8_t> decoded_; // the bytes of one delivery, until DeliverBytes
    TRecording result_;
    Clock::duration sweepWait_{};
    Clock::time_point deadline_{};
    bool failed_ = false;
    bool writeFailed_ = false;
};

bool TSession::SetUpSweep() {
    result_.PeriodMs = acquisition::ConfirmedPeriod(options_.PeriodMs);
    const long double longest = acquisition::DeflectTimeMaxFor(result_.PeriodMs);
    if (options_.DurationS < 0.001L || options_.DurationS > longest) {
        Fail(stUsage, "--duration: between 0.001 and " +
                          NumberText(longest, std::chars_format::general, 6) +
                          " s at a period of " +
                          NumberText(result_.PeriodMs, std::chars_format::fixed, 7) + " ms");
        return false;
    }
    result_.SweepLength = acquisition::SweepLength(options_.DurationS, result_.PeriodMs);
    if (result_.SweepLength < ShortestSweep) {
        Fail(stUsage, "--duration gives " + std::to_string(result_.SweepLength) +
                          " samples a sweep; at least 8 are needed");
        return false;
    }
    deviceRate_ = acquisition::DeviceByteRate(acquisition::PeriodToDivider(result_.PeriodMs));
    lineRate_ = acquisition::LineByteRate(options_.Baud, 8, false, 1);
    const double sweepSeconds = result_.SweepLength / 8.0 / std::min(deviceRate_, lineRate_);
    sweepWait_ = std::max<Clock::duration>(LeastSweepWait,
                                           std::chrono::duration_cast<Clock::duration>(
                                               std::chrono::duration<double>(2 * sweepSeconds)));
    if (options_.Seconds && *options_.Seconds > 0) {
        const long double samples = std::round(*options_.Seconds * 1000 / result_.PeriodMs);
        if (samples < 1) {
            Fail(stUsage, "--seconds " + NumberText(*options_.Seconds, std::chars_format::general,
                                                     6) +
                              " gives no sample at a period of " +
                              NumberText(result_.PeriodMs, std::chars_format::fixed, 7) + " ms");
            return false;
        }
        result_.SampleLimit = static_cast<std::uint64_t>(samples);
    }
    levels_.assign(static_cast<std::size_t>(result_.SweepLength), 0.0);
    Levels = levels_;
    return true;
}

bool TSession::Open() {
    port_.SetBaud(options_.Baud);
    port_.SetInSize(65535);
    port_.SetAutoOpen(false);
    port_.SetTapiMode(serial::tmOff);
    if (const std::uint16_t com = ComNumberOf(options_.Port); com != 0)
        port_.SetComNumber(com);
    else
        port_.SetDevicePath(options_.Port);
    try {
        port_.SetOpen(true);
        return true;
    } catch (const serial::ESerialException& error) {
        result_ = OpenFailure(options_, error.ErrorCode(), error.what());
    } catch (const serial::EInOutError& error) {
        result_ = OpenFailure(options_, error.ErrorCode(), error.what());
    } catch (const std::exception& error) {
        result_ = OpenFailure(options_, 0, error.what());
    }
    failed_ = true;
    return false;
}

void TSession::Fail(TStatus status, std::string message) {
    if (failed_)
        return;
    failed_ = true;
    result_.Status = status;
    result_.Message = std::move(message);
}

void TSession::OnAvail(std::uint16_t count) {
    integrity_.Received(count);
    for (std::uint16_t read = 0; read < count; ++read) {
        const std::uint8_t byte = port_.ReadChar();
        if (Complete() || writeFailed_)
            continue; // the rest is not wanted; the stop drops what follows
        decoded_.push_back(byte);
        // Each single sweep waits for its own change of level.
        if (sweep_.Feed(byte, *this).Finished && !Complete())
            sweep_.Start(acquisition::TSweep::smSingle, result_.SweepLength);
        // --seconds ends on its sample, which may lie inside a sweep.
        if (result_.SampleLimit != 0 && !Complete() &&
            result_.Samples + static_cast<std::uint64_t>(sweep_.UnderWay()) >=
                result_.SampleLimit) {
            TakeSweepUnderWay();
            Report();
        }
    }
    DeliverBytes();
}

void TSession::DeliverBytes() {
    if (!decoded_.empty() && !writeFailed_ && bytes_) {
        try {
            bytes_(decoded_);
        } catch (const std::exception& error) {
            WriteFailed(error);
        }
    }
    decoded_.clear();
}

void TSession::WriteFailed(const std::exception& error) {
    writeFailed_ = true;
    Fail(stWriteFailed, WriteFailure(options_, error));
}

bool TSession::Complete() const {
    if (options_.Seconds)
        return result_.SampleLimit != 0 && result_.Samples == result_.SampleLimit;
    return result_.CompletedSweeps == options_.Sweeps;
}

std::size_t TSession::Wanted(std::size_t count) const {
    if (result_.SampleLimit == 0)
        return count;
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(count, result_.SampleLimit - result_.Samples));
}

void TSession::Deliver(std::span<const double> levels) {
    if (writeFailed_ || levels.empty())
        return;
    try {
        samples_(levels);
    } catch (const std::exception& error) {
        WriteFailed(error);
        return;
    }
    result_.Samples += levels.size();
}

void TSession::TakeSweepUnderWay() {
    const std::size_t count = Wanted(static_cast<std::size_t>(sweep_.UnderWay()));
    Deliver(std::span<const double>(levels_).first(count));
    result_.LastSweepCut = result_.LastSweepCut || count > 0;
}

void TSession::Report() {
    if (!progress_)
        return;
    if (options_.Seconds)
        progress_(result_.Samples, result_.SampleLimit);
    else
        progress_(static_cast<std::uint64_t>(result_.CompletedSweeps),
                  static_cast<std::uint64_t>(options_.Sweeps));
}

void TSession::SweepCompleted() {
    const std::size_t count = Wanted(levels_.size());
    Deliver(std::span<const double>(levels_).first(count));
    if (count == levels_.size())
        ++result_.CompletedSweeps;
    else
        result_.LastSweepCut = true;
    deadline_ = Clock::now() + sweepWait_;
    Report();
}

void TSession::Stopped() {
    if (!options_.Seconds) {
        Fail(stInterrupted, "interrupted after " + std::to_string(result_.CompletedSweeps) +
                                " of " + std::to_string(options_.Sweeps) + " sweeps");
        return;
    }
    if (result_.SampleLimit == 0)
        return;
    const long double seconds =
        static_cast<long double>(result_.Samples) * result_.PeriodMs / 1000;
    Fail(stInterrupted, "interrupted after " +
                            NumberText(seconds, std::chars_format::fixed, 3) + " of " +
                            NumberText(*options_.Seconds, std::chars_format::general, 6) + " s");
}

void TSession::Stop() {
    port_.OnTriggerAvail = nullptr;
    port_.OnTriggerLineError = nullptr;
    port_.OnDeviceLost = nullptr;
    try {
        acquisition::EndSampling(port_);
    } catch (const std::exception&) {
        // A lost device cannot be told to stop; the close below is all there is.
        port_.SetOpen(false);
    }
}

TRecording TSession::Run(const std::atomic<bool>& stop) {
    if (!SetUpSweep() || !Open())
        return result_;
    try {
        acquisition::WatchLineErrors(port_);
        port_.OnTriggerLineError = [this](serial::TSerialPort*, std::uint16_t error, bool) {
            Fail(stLineError, std::string("line error: ") + acquisition::LineErrorText(error));
        };
        port_.OnDeviceLost = [this](serial::TSerialPort*, int code) {
            Fail(stDeviceLost,
                 "the device was lost: " + serial::ErrorText(static_cast<unsigned>(-code)));
        };
        switch (acquisition::StartSampling(port_, options_.Test,
                                           acquisition::PeriodToDivider(result_.PeriodMs))) {
        case acquisition::TStartAnswer::Started:
            break;
        case acquisition::TStartAnswer::NoPrompt:
            Fail(stNoPrompt, "the device on " + options_.Port +
                                 " did not answer with its prompt; check that it is the "
                                 "measuring device, switched on, at --baud " +
                                 std::to_string(options_.Baud));
            break;
        case acquisition::TStartAnswer::NoEcho:
            Fail(stNoEcho, "the device on " + options_.Port +
                               " did not echo the command; check that it is the measuring "
                               "device, at --baud " +
                               std::to_string(options_.Baud));
            break;
        }
        if (!failed_) {
            if (started_)
                started_();
            Collect(stop);
        }
    } catch (const std::exception& error) {
        Fail(stOther, error.what());
    }
    Stop();
    return result_;
}

void TSession::Collect(const std::atomic<bool>& stop) {
    integrity_.Start(deviceRate_, lineRate_, Seconds(Clock::now()));
    sweep_.Start(options_.Mode, result_.SweepLength);
    port_.OnTriggerAvail = [this](serial::TSerialPort*, std::uint16_t count) { OnAvail(count); };
    deadline_ = Clock::now() + sweepWait_;
    while (!failed_ && !Complete() && !stop) {
        loop_.ProcessUntil([&] { return failed_ || stop || Complete(); }, PollStep);
        for (const std::exception_ptr& error : loop_.TakeExceptions()) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                Fail(stOther, e.what());
            }
        }
        // A single sweep waits for its change of level as long as it takes.
        const bool waitingForEdge =
            options_.Mode == acquisition::TSweep::smSingle && !sweep_.Triggered();
        if (waitingForEdge)
            deadline_ = Clock::now() + sweepWait_;
        else if (Clock::now() > deadline_)
            Fail(stSweepTimeout, "sweep " + std::to_string(result_.CompletedSweeps + 1) +
                                     " did not complete in time");
    }
    // Counted in samples, a recording keeps every one decoded, whatever ended it.
    if (options_.Seconds && !writeFailed_ && !Complete()) {
        TakeSweepUnderWay();
        Report();
    }
    if (stop && !failed_ && !Complete())
        Stopped();
    result_.Totals = integrity_.Totals(Seconds(Clock::now()));
}

} // namespace

TRecording Record(const TRecordOptions& options, const TStarted& started, const TProgress& progress,
                  const TSamples& samples, const TBytes& bytes, const std::atomic<bool>& stop) {
    TSession session(options, started, progress, samples, bytes);
    return session.Run(stop);
}

} // namespace record
