// A long recording at the shortest sample period from talvir-devsim's PRBS source, while the window
// thread stalls for 3.5 s every 10 s outside any data handler, as a long file save does. The
// serial stack then gives up on deliveries and offers their bytes again; every byte must still
// reach the data handler once and in order, and every sample decoded must be the stream's.
// Beside it, a recording without a fault whose integrity figure must hold steady.
//
// `--seconds N` sets each recording's length (default 60, at least 20).

#include "support/recording_support.h"

#include "app/application.h"
#include "support/simulator_process.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <thread>

using namespace recording_test;
using namespace std::chrono_literals;
using devsim_test::SimulatorProcess;
using recorder::TMainForm;

namespace {

constexpr std::uint32_t Seed = 20250214;
constexpr auto StallEvery = 10s;
constexpr auto StallFor = 3500ms;

// Walks the bytes the data handler took along the PRBS stream. At a byte that differs from the
// one expected it looks for the place in the stream that the next received bytes come from,
// nearest first: ahead, the bytes between were lost; behind, they were delivered twice.
class TStreamAudit {
public:
    explicit TStreamAudit(std::uint32_t seed) : prbs_(seed) {}

    void Take(std::uint8_t byte) { taken_.push_back(byte); }

    // Audits what was taken so far; until the end it leaves a mismatch near the last byte for
    // when the bytes to place it have come.
    void Audit(bool end) {
        while (audited_ < taken_.size()) {
            if (taken_[audited_] == prbs_.Byte(expected_)) {
                ++audited_;
                ++expected_;
                continue;
            }
            const std::size_t window = std::min(Window, taken_.size() - audited_);
            if (window < Window && !end)
                return;
            const std::optional<std::uint64_t> found = Place(window);
            if (!found) {
                ++Unmatched;
                ++audited_;
                ++expected_;
                continue;
            }
            if (*found > expected_)
                Lost += *found - expected_;
            else
                Duplicated += expected_ - *found;
            expected_ = *found;
        }
    }

    std::uint64_t Received() const { return taken_.size(); }
    // Lost, duplicated: bytes of the stream; unmatched: received bytes found nowhere near.
    std::uint64_t Lost = 0;
    std::uint64_t Duplicated = 0;
    std::uint64_t Unmatched = 0;

private:
    // Eight bytes, 64 samples, place a run unambiguously within the reach.
    static constexpr std::size_t Window = 8;
    // Farther than any buffer on the way holds: the dispatch buffer, the pseudo-terminal's.
    static constexpr std::uint64_t Reach = 1u << 20;
    // Past this many fruitless searches the trace is garbage; its bytes are only counted.
    static constexpr std::uint64_t MaxFruitlessSearches = 100;

    std::optional<std::uint64_t> Place(std::size_t window) {
        if (Unmatched >= MaxFruitlessSearches)
            return std::nullopt;
        for (std::uint64_t distance = 1; distance <= Reach; ++distance) {
            if (RunMatches(expected_ + distance, window))
                return expected_ + distance;
            if (distance <= expected_ && RunMatches(expected_ - distance, window))
                return expected_ - distance;
        }
        return std::nullopt;
    }

    bool RunMatches(std::uint64_t stream, std::size_t window) {
        for (std::size_t i = 0; i < window; ++i) {
            if (taken_[audited_ + i] != prbs_.Byte(stream + i))
                return false;
        }
        return true;
    }

    TPrbs prbs_;
    std::vector<std::uint8_t> taken_;
    std::size_t audited_ = 0;
    // The stream byte the next received byte should be.
    std::uint64_t expected_ = 0;
};

} // namespace

class SoakTest : public TWindowTest {
    Q_OBJECT

public:
    explicit SoakTest(int seconds) : Seconds(seconds) {}

private:
    const int Seconds;
    std::unique_ptr<SimulatorProcess> Simulator;

    void StartSimulator(std::vector<std::string> args) {
        args.insert(args.end(), {"--source", "prbs:" + std::to_string(Seed), "--com", "1"});
        Simulator = std::make_unique<SimulatorProcess>(args);
    }

private slots:
    void init() { NewSettingsFolder(); }
    // The window closes its port before the device goes.
    void cleanup() {
        Form.reset();
        Simulator.reset();
    }

    void stalledWindowKeepsEverySample() {
        const std::string logPath = Path("devsim.log").toStdString();
        // The line's rate: 115200 baud carry 11520 of the 12800 bytes a second of divider 16.
        StartSimulator({"--log", logPath});
        ShowNewWindow();
        TMainForm& form = *Form;
        TWindowParts parts(form);
        Confirm(parts.SamplePeriod, QStringLiteral("0.0097656"));
        Confirm(parts.DeflectTime, QStringLiteral("1"));
        const std::int64_t n = form.SweepLength();
        TBoxCloser boxes;
        ClickSwitch(parts.Switch);
        QVERIFY(form.Port().Open());
        QVERIFY(form.Port().OnTriggerAvail);

        // The window's own handler decodes; the bytes are read back from each sweep it hands
        // over to be drawn, eight samples a byte (a byte may span two sweeps), and after the stop
        // from the samples of the unfinished sweep on the trace. A handler that fails leaves
        // unknown how far it read, and so how far the unfinished sweep goes: the audit ends at
        // the first failed delivery.
        TStreamAudit audit(Seed);
        std::uint64_t received = 0;
        std::uint64_t deliveries = 0;
        std::uint64_t failedDeliveries = 0;
        std::uint16_t largest = 0;
        std::uint64_t sweeps = 0;
        std::uint8_t byteSoFar = 0;
        int samplesSoFar = 0;
        const auto take = [&](std::span<const double> levels) {
            for (double level : levels) {
                byteSoFar = static_cast<std::uint8_t>(byteSoFar << 1 | (level == 1.0));
                if (++samplesSoFar == 8) {
                    audit.Take(byteSoFar);
                    samplesSoFar = 0;
                }
            }
        };
        QObject scope;
        connect(parts.Chart, &chart::TChart::redrawRequested, &scope, [&] {
            if (!form.Port().OnTriggerAvail || failedDeliveries != 0)
                return;
            ++sweeps;
            take(parts.Series->YValues().Raw());
            audit.Audit(false);
        });
        const auto handler = form.Port().OnTriggerAvail;
        form.Port().OnTriggerAvail = [&, handler](serial::TSerialPort* cp, std::uint16_t count) {
            ++deliveries;
            largest = std::max(largest, count);
            try {
                handler(cp, count);
            } catch (...) {
                ++failedDeliveries;
                throw;
            }
            received += count;
        };

        // None in the last ten seconds: a gap after a stall shows only once bytes follow it, and
        // the recording has caught up by the stop.
        const int stallsWanted = Seconds / 10 - 1;
        int stalls = 0;
        QTimer stall;
        stall.setInterval(StallEvery);
        connect(&stall, &QTimer::timeout, [&] {
            std::this_thread::sleep_for(StallFor);
            if (++stalls == stallsWanted)
                stall.stop();
        });
        stall.start();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < Seconds * 1000LL && form.Port().Open())
            QTest::qWait(100);
        stall.stop();
        const bool recordedToTheEnd = form.Port().Open();
        if (recordedToTheEnd)
            ClickSwitch(parts.Switch);
        if (failedDeliveries == 0) {
            const auto underWay =
                static_cast<std::size_t>(received * 8 - sweeps * static_cast<std::uint64_t>(n));
            QVERIFY(underWay <= static_cast<std::size_t>(n));
            take(std::span(parts.Series->YValues().Raw()).first(underWay));
        }
        audit.Audit(true);
        (void)QTest::qWaitFor([&] { return StreamedAtStop(logPath).has_value(); }, 2000);
        const std::optional<std::uint64_t> expected = StreamedAtStop(logPath);

        const std::int64_t inFlight =
            expected
                ? static_cast<std::int64_t>(*expected - received - audit.Lost + audit.Duplicated)
                : 0;
        qInfo().noquote() << QStringLiteral(
                                 "soak: %1 s at 0.0097656 ms, sweep %2 points, %3 stalls of %4 ms, "
                                 "%5 deliveries (%6 failed), largest %7 bytes")
                                 .arg(clock.elapsed() / 1000)
                                 .arg(n)
                                 .arg(stalls)
                                 .arg(StallFor.count())
                                 .arg(deliveries)
                                 .arg(failedDeliveries)
                                 .arg(largest);
        if (failedDeliveries != 0)
            qInfo().noquote() << QStringLiteral("soak: audited up to the first failed delivery, "
                                                "after %1 bytes; received counts whole deliveries")
                                     .arg(audit.Received());
        qInfo().noquote() << QStringLiteral("soak: expected %1, received %2, lost %3, duplicated "
                                            "%4, in flight %5, unmatched %6")
                                 .arg(expected ? QString::number(*expected) : QStringLiteral("?"))
                                 .arg(received)
                                 .arg(audit.Lost)
                                 .arg(audit.Duplicated)
                                 .arg(inFlight)
                                 .arg(audit.Unmatched);

        QVERIFY2(boxes.Texts().isEmpty(), qPrintable(boxes.Texts().join(u'|')));
        QVERIFY2(recordedToTheEnd, "the recording ended before its time");
        QVERIFY2(expected, "the simulator logged no stop");
        // Every byte delivered was read back from the sweeps drawn and the trace after the stop.
        if (failedDeliveries == 0)
            QCOMPARE(audit.Received(), received);
        QCOMPARE(audit.Lost, std::uint64_t{0});
        QCOMPARE(audit.Duplicated, std::uint64_t{0});
        QCOMPARE(audit.Unmatched, std::uint64_t{0});
        // Bytes taken that the simulator never streamed would be a fault of their own.
        QVERIFY(inFlight >= 0);
        QCOMPARE(stalls, stallsWanted);
    }

    // No fault, divider 20: the line's 11520 bytes a second carry the device's 10472.7, and the
    // integrity figure stays at 100 % ± 2 % of them from its first judged second to the stop.
    void integrityFigureHoldsWithoutFault() {
        StartSimulator({});
        ShowNewWindow();
        TMainForm& form = *Form;
        TWindowParts parts(form);
        Confirm(parts.SamplePeriod, QStringLiteral("0.0119358"));
        TBoxCloser boxes;
        ClickSwitch(parts.Switch);
        QVERIFY(form.Port().Open());
        std::uint64_t received = 0;
        const auto handler = form.Port().OnTriggerAvail;
        form.Port().OnTriggerAvail = [&received, handler](serial::TSerialPort* cp,
                                                          std::uint16_t count) {
            received += count;
            handler(cp, count);
        };

        // The panel as the operator reads it, "10.5 кБ/с из 10.5", a figure of the last second.
        const auto* panel = form.findChild<QLabel*>(QStringLiteral("StatusPanel2"));
        const QRegularExpression figure(QStringLiteral("^([0-9.,]+) кБ/с из ([0-9.,]+)$"));
        double lowest = 100;
        double highest = 0;
        double lowestAt = 0;
        int read = 0;
        QStringList wrong;
        QElapsedTimer clock;
        clock.start();
        // The first second is not judged: the device's first bytes lag behind the start.
        QTest::qWait(1500);
        while (clock.elapsed() < Seconds * 1000LL && form.Port().Open()) {
            QTest::qWait(250);
            const QString text = panel->text();
            const QRegularExpressionMatch match = figure.match(text);
            const double share = match.hasMatch() ? QLocale().toDouble(match.captured(1)) /
                                                        QLocale().toDouble(match.captured(2))
                                                  : 0;
            ++read;
            if (share < lowest) {
                lowest = share;
                lowestAt = clock.elapsed() / 1000.0;
            }
            highest = std::max(highest, share);
            if (share < 0.98 || share > 1.02 || panel->styleSheet().contains(u"red"))
                wrong << QStringLiteral("%1 s: %2").arg(clock.elapsed() / 1000.0).arg(text);
        }
        const double elapsed = clock.elapsed() / 1000.0;
        const bool recordedToTheEnd = form.Port().Open();
        if (recordedToTheEnd)
            ClickSwitch(parts.Switch);
        qInfo().noquote() << QStringLiteral("integrity: %1 s at divider 20, %2 readings of the "
                                            "panel from 1.5 s on, %3 % (first at %8 s) .. %4 % "
                                            "of the device's rate, %5 off; %6 bytes received, %7 % "
                                            "of 10472.7 B/s over the whole recording")
                                 .arg(elapsed, 0, 'f', 1)
                                 .arg(read)
                                 .arg(lowest * 100, 0, 'f', 1)
                                 .arg(highest * 100, 0, 'f', 1)
                                 .arg(wrong.size())
                                 .arg(received)
                                 .arg(100.0 * received / (10472.727 * elapsed), 0, 'f', 2)
                                 .arg(lowestAt, 0, 'f', 1);
        QVERIFY2(boxes.Texts().isEmpty(), qPrintable(boxes.Texts().join(u'|')));
        QVERIFY2(recordedToTheEnd, "the recording ended before its time");
        QVERIFY(read > 0);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.mid(0, 10).join(u'\n')));
    }
};

namespace {

// Takes "--seconds N" out of the arguments, leaving the rest to Qt Test; 0 when N is not a number
// of at least 20, too short for a stall and the time to catch up after it.
int TakeSeconds(std::vector<char*>& args) {
    int seconds = 60;
    for (auto it = args.begin() + 1; it != args.end(); ++it) {
        if (std::strcmp(*it, "--seconds") != 0)
            continue;
        if (it + 1 == args.end())
            return 0;
        const std::string_view text = *(it + 1);
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
        if (error != std::errc() || end != text.data() + text.size() || seconds < 20)
            return 0;
        args.erase(it, it + 2);
        break;
    }
    return seconds;
}

// The test functions: the private slots of the test class but for its init and cleanup.
int SoakFunctions() {
    const QMetaObject& meta = SoakTest::staticMetaObject;
    int functions = 0;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        functions += method.methodType() == QMetaMethod::Slot &&
                     method.access() == QMetaMethod::Private && method.name() != "init" &&
                     method.name() != "cleanup";
    }
    return functions;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    const int seconds = TakeSeconds(args);
    if (seconds == 0) {
        std::fprintf(stderr, "usage: %s [--seconds N (>= 20)] [Qt Test options]\n", argv[0]);
        return 2;
    }
    // Qt Test's watchdog ends a test function after 5 minutes unless told otherwise, and this Qt
    // (6.4) counts from the start of the run, not of each function: the timeout covers every
    // soak one after the other, two minutes each beyond its recording.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT",
                QByteArray::number(static_cast<qint64>(SoakFunctions()) * (seconds + 120) * 1000));
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    app::TApplication application(count, args.data());
    SoakTest test(seconds);
    return QTest::qExec(&test, count, args.data());
}

#include "soak_test.moc"
