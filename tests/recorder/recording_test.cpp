// Recordings end to end: the real window, the real serial stack, and talvir-devsim on a
// pseudo-terminal registered as COM1 in a private settings folder.

#include "recording_support.h"

#include "app/application.h"
#include "devsim/simulator_process.h"
#include "recorder/number_format.h"
#include "recorder/radio_group.h"
#include "recorder/sweep.h"
#include "serial/device.h"
#include "serial/errors.h"
#include "serial/memory_device.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <fstream>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace recording_test;
using devsim_test::SimulatorProcess;
using recorder::TMainForm;

namespace {
const QString Started = QStringLiteral("Стоп");
const QString Stopped = QStringLiteral("Старт");
} // namespace

class RecordingTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir Config;
    std::unique_ptr<TMainForm> Form;
    std::unique_ptr<TWindowParts> Parts;
    std::unique_ptr<SimulatorProcess> Simulator;
    std::string LogPath;
    // Bytes handed to the data handler so far (counted by WatchData).
    std::uint64_t Consumed = 0;

    void StartSimulator(std::vector<std::string> args) {
        LogPath = Config
                      .filePath(QStringLiteral("%1.log").arg(
                          QString::fromLatin1(QTest::currentTestFunction())))
                      .toStdString();
        args.insert(args.end(), {"--com", "1", "--log", LogPath});
        Simulator = std::make_unique<SimulatorProcess>(args);
    }

    // Waits until the simulator has logged `expected` as received, then the stop's CR.
    void ExpectReceived(const std::string& expected) {
        const std::string all = expected + '\r';
        (void)QTest::qWaitFor([&] { return ReceivedBytes(LogPath).size() >= all.size(); }, 1000);
        QCOMPARE(QByteArray::fromStdString(ReceivedBytes(LogPath)), QByteArray::fromStdString(all));
    }

    // Opens the port on a memory line that answers the prompt and echoes "RP 10\r", followed by
    // `samples`.
    std::shared_ptr<serial::TMemoryDevice> StartOnMemoryLine(std::vector<std::uint8_t> samples) {
        auto device = std::make_shared<serial::TMemoryDevice>();
        Form->Port().SetDeviceFactory([device] { return device; });
        std::atomic<bool> done = false;
        std::thread answer([&] {
            std::size_t seen = 0;
            while (!done) {
                const auto written = device->Written();
                const std::string text(written.begin(), written.end());
                if (seen == 0 && text == "\r") {
                    device->Feed({'\r', '\n', '>'});
                    seen = 1;
                } else if (seen == 1 && text == "\rRP 10\r") {
                    std::vector<std::uint8_t> echo{'R', 'P', ' ', '1', '0', '\r'};
                    echo.insert(echo.end(), samples.begin(), samples.end());
                    device->Feed(echo);
                    seen = 2;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        ClickSwitch(Parts->Switch);
        done = true;
        answer.join();
        return device;
    }

    static std::string Written(const serial::TMemoryDevice& device) {
        const auto bytes = device.Written();
        return std::string(bytes.begin(), bytes.end());
    }

    // Counts the bytes of every data event; `check` runs after each.
    void WatchData(std::function<void()> check = {}) {
        auto handler = Form->Port().OnTriggerAvail;
        QVERIFY(handler);
        Form->Port().OnTriggerAvail = [this, handler, check](serial::TSerialPort* cp,
                                                             std::uint16_t count) {
            handler(cp, count);
            Consumed += count;
            if (check)
                check();
        };
    }

    void VerifyStopped(int points) {
        QCOMPARE(Parts->StartLabel->text(), Stopped);
        QVERIFY(!Parts->Switch->StateOn());
        QVERIFY(!Form->Port().Open());
        QVERIFY(Parts->SamplePeriod->isEnabled());
        QVERIFY(Parts->DeflectOptions->isEnabled());
        QVERIFY(Parts->DeflectTime->isEnabled());
        QCOMPARE(Parts->Series->Count(), points);
    }

    void VerifyRecording() {
        QCOMPARE(Parts->StartLabel->text(), Started);
        QVERIFY(Parts->Switch->StateOn());
        QVERIFY(Form->Port().Open());
        QVERIFY(!Parts->SamplePeriod->isEnabled());
        QVERIFY(!Parts->DeflectOptions->isEnabled());
        QVERIFY(!Parts->DeflectTime->isEnabled());
        QVERIFY(Form->Port().OnTriggerAvail);
    }

    // Redraw requests of the chart counted from CountRedraws on, taken right after a start, and
    // whether a full repaint has come after the last one (WatchRedraws connects them).
    std::uint64_t RedrawRequests = 0;
    std::uint64_t RedrawsBefore = 0;
    bool LastRedrawPainted = true;
    void WatchRedraws() {
        connect(Parts->Chart, &chart::TChart::redrawRequested, this, [this] {
            ++RedrawRequests;
            LastRedrawPainted = false;
        });
        connect(Parts->Chart, &chart::TChart::painted, this, [this] { LastRedrawPainted = true; });
    }
    void CountRedraws() { RedrawsBefore = RedrawRequests; }
    std::uint64_t Redraws() const { return RedrawRequests - RedrawsBefore; }

    // Sweeps that `bytes` of a periodic recording completed: sample N + 1 of a round completes
    // the round before it.
    static std::uint64_t CompletedSweeps(std::uint64_t bytes, std::int64_t n) {
        return bytes == 0 ? 0 : (bytes * 8 - 1) / static_cast<std::uint64_t>(n);
    }

    // The chart paints anew after the last redraw request.
    void VerifyLastRedrawPainted() {
        QVERIFY(QTest::qWaitFor([&] { return LastRedrawPainted; }, 2000));
    }

    // Index of the sample that the series' point i holds after `samples` periodic samples, or
    // -1 while the point still holds the start's zero.
    static std::int64_t PeriodicSource(std::int64_t i, std::int64_t samples, std::int64_t n) {
        if (samples == 0)
            return -1;
        const std::int64_t written = (samples - 1) % n + 1;
        const std::int64_t round = (samples - written) / n;
        return i < written ? round * n + i : (round - 1) * n + i;
    }

    // Points of the series that differ from the PRBS stream after `samples` periodic samples.
    int PeriodicMismatches(TPrbs& prbs, std::int64_t samples) const {
        const chart::TChartValueList& levels = Parts->Series->YValues();
        const std::int64_t n = levels.ValueCount();
        int wrong = 0;
        for (std::int64_t i = 0; i < n; ++i) {
            const std::int64_t source = PeriodicSource(i, samples, n);
            const double expected = source < 0 ? 0.0 : prbs[static_cast<std::size_t>(source)];
            wrong += levels.ReadValue(static_cast<int>(i)) != expected;
        }
        return wrong;
    }

private slots:
    void initTestCase() { QVERIFY(UseSettingsFolder(Config)); }

    void init() {
        // Every test starts without the settings an earlier one left.
        ForgetWindowSettings(Config);
        Consumed = 0;
        Form = std::make_unique<TMainForm>();
        Parts = std::make_unique<TWindowParts>(*Form);
        WatchRedraws();
        Form->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form.get()));
    }

    void cleanup() {
        Parts.reset();
        Form.reset();
        Simulator.reset();
    }

    // From a zoomed time axis too, a first run's start spans 0 .. 103 × 0.0097656 ms.
    void firstRunStartsAndStops() {
        Parts->Chart->BottomAxis().SetRange(5000, 6000);
        StartSimulator({"--source", "square:1000"});
        ClickSwitch(Parts->Switch);
        CountRedraws();
        VerifyRecording();
        QCOMPARE(Form->SweepLength(), 103);
        QCOMPARE(Parts->Series->Count(), 103);
        QCOMPARE(Parts->Chart->BottomAxis().Minimum(), 0.0);
        QCOMPARE(Parts->Chart->BottomAxis().Maximum(), 1.0058568);
        QCOMPARE(Parts->Series->XValues().ReadValue(102), 102 * 0.0097656);
        WatchData();
        QVERIFY(QTest::qWaitFor([&] { return Consumed > 100; }, 2000));
        ClickSwitch(Parts->Switch);
        VerifyStopped(103);
        ExpectReceived("\rRP 10\r");
        // Each completed sweep asked for a redraw, the stop for none.
        QCOMPARE(Redraws(), CompletedSweeps(Consumed, 103));
        VerifyLastRedrawPainted();
    }

    void commandBytes_data() {
        QTest::addColumn<QString>("period");
        QTest::addColumn<bool>("test");
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("n=16") << "0.0097656" << false << QByteArray("RP 10\r");
        QTest::newRow("n=26") << "0.0151910" << false << QByteArray("RP 1A\r");
        QTest::newRow("n=1841") << "0.9998915" << false << QByteArray("RP 731\r");
        QTest::newRow("n=65535") << "35.5560981" << false << QByteArray("RP FFFF\r");
        QTest::newRow("test mode") << "0.0097656" << true << QByteArray("RT 10\r");
    }
    void commandBytes() {
        QFETCH(QString, period);
        QFETCH(bool, test);
        QFETCH(QByteArray, command);
        StartSimulator({});
        Confirm(Parts->SamplePeriod, period);
        Form->findChild<QCheckBox*>(QStringLiteral("chbTest"))->setChecked(test);
        TBoxCloser boxes;
        ClickSwitch(Parts->Switch);
        QVERIFY2(boxes.Texts().isEmpty(), qPrintable(boxes.Texts().join(u'|')));
        VerifyRecording();
        ClickSwitch(Parts->Switch);
        VerifyStopped(Form->SweepLength());
        ExpectReceived("\r" + command.toStdString());
    }

    // Whatever step of a start fails, the start ends stopped: the switch off, the port closed, no
    // data handler, and one click then starts the next recording. The faults: the port cannot be
    // opened (missing, held by another program, no port chosen at the prompt), or the device
    // fails its dialogue.
    void failedStartEndsStopped_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("received"); // by the device
        QTest::addColumn<int>("minimumMs");
        const auto serialText = [](int code) {
            return QString::fromStdString(serial::ErrorText(static_cast<unsigned>(-code)));
        };
        QTest::newRow("port missing")
            << "port-missing" << serialText(serial::ecBadId) << QByteArray() << 0;
        QTest::newRow("port held")
            << "port-held" << serialText(serial::ecAlreadyOpen) << QByteArray() << 0;
        QTest::newRow("no port chosen")
            << "no-port-chosen" << serialText(serial::ecNoPortSelected) << QByteArray() << 0;
        QTest::newRow("no prompt") << "no-prompt"
                                   << "Прибор не готов к работе" << QByteArray("\r\r") << 550;
        QTest::newRow("lower-case echo")
            << "lower-echo"
            << "Прибор не подтвердил команду" << QByteArray("\rRP 10\r\r") << 0;
        QTest::newRow("no echo") << "no-echo"
                                 << "Прибор не подтвердил команду" << QByteArray("\rRP 10\r\r")
                                 << 550;
    }
    void failedStartEndsStopped() {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        QFETCH(QByteArray, received);
        QFETCH(int, minimumMs);
        int heldLine = -1;
        if (fault == QLatin1String("port-missing")) {
            std::ofstream(Config.filePath(QStringLiteral("talvir/ports.ini")).toStdString())
                << "[Ports]\nCOM1=/nonexistent/talvir-tty\n";
        } else if (fault == QLatin1String("port-held")) {
            StartSimulator({});
            heldLine = ::open(Simulator->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            QVERIFY(heldLine >= 0 && ::flock(heldLine, LOCK_EX | LOCK_NB) == 0);
        } else if (fault == QLatin1String("no-port-chosen")) {
            StartSimulator({});
            Form->Port().SetComNumber(0);
            Form->Port().SetPortPrompt([](std::uint16_t&) { return false; });
        } else {
            StartSimulator({"--fault", fault.toStdString()});
        }
        TBoxCloser boxes;
        QElapsedTimer clock;
        clock.start();
        ClickSwitch(Parts->Switch);
        QVERIFY(clock.elapsed() >= minimumMs);
        // Stopped as the click ends, before a component's error is reported.
        VerifyStopped(103);
        QVERIFY(!Form->Port().OnTriggerAvail);
        QVERIFY(QTest::qWaitFor([&] { return !boxes.Texts().isEmpty(); }, 2000));
        QCOMPARE(boxes.Texts(), QStringList{message});
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        if (!received.isEmpty()) {
            (void)QTest::qWaitFor(
                [&] { return ReceivedBytes(LogPath).size() >= std::size_t(received.size()); },
                1000);
        }
        if (Simulator)
            QCOMPARE(QByteArray::fromStdString(ReceivedBytes(LogPath)), received);

        // The fault gone, a single click starts.
        if (heldLine >= 0)
            ::close(heldLine);
        Form->Port().SetPortPrompt([](std::uint16_t& chosen) {
            chosen = 1;
            return true;
        });
        Simulator.reset();
        StartSimulator({});
        ClickSwitch(Parts->Switch);
        VerifyRecording();
        ClickSwitch(Parts->Switch);
        VerifyStopped(103);
        ExpectReceived("\rRP 10\r");
        QVERIFY2(boxes.Texts().size() == 1, qPrintable(boxes.Texts().join(u'|')));
    }

    void textBeforeThePromptIsDiscarded() {
        StartSimulator({"--fault", "noise:READY\\r\\nv1.0 "});
        TBoxCloser boxes;
        ClickSwitch(Parts->Switch);
        VerifyRecording();
        QVERIFY(boxes.Texts().isEmpty());
        ClickSwitch(Parts->Switch);
        ExpectReceived("\rRP 10\r");
    }

    // Every sample of ten and more sweeps, checked after each data event: none lost, none out
    // of place. A long sweep is checked where each event's samples landed (an event holds less
    // than a sweep); a short one, wrapping many times within an event, as a whole trace.
    void periodicSweepKeepsEverySample_data() {
        QTest::addColumn<QString>("duration");
        QTest::addColumn<int>("points");
        QTest::newRow("short sweep") << "0.001" << 103;
        QTest::newRow("long sweep") << "1" << 102401;
    }
    void periodicSweepKeepsEverySample() {
        QFETCH(QString, duration);
        QFETCH(int, points);
        const std::uint32_t seed = 20261207;
        StartSimulator({"--source", "prbs:" + std::to_string(seed), "--rate", "max"});
        Confirm(Parts->DeflectTime, duration);
        ClickSwitch(Parts->Switch);
        CountRedraws();
        VerifyRecording();
        const std::int64_t n = Form->SweepLength();
        QCOMPARE(n, points);
        TPrbs prbs(seed);
        int events = 0;
        int wrong = 0;
        int redrawsAmiss = 0;
        std::int64_t checked = 0;
        WatchData([&] {
            ++events;
            // Every completed sweep is asked to be drawn as soon as it is complete.
            redrawsAmiss += Redraws() != CompletedSweeps(Consumed, n);
            const auto end = static_cast<std::int64_t>(Consumed) * 8;
            if (end - checked >= n) {
                wrong += PeriodicMismatches(prbs, end);
                checked = end;
            }
            const chart::TChartValueList& levels = Parts->Series->YValues();
            for (; checked < end; ++checked)
                wrong += levels.ReadValue(static_cast<int>(checked % n)) !=
                         prbs[static_cast<std::size_t>(checked)];
        });
        QVERIFY(QTest::qWaitFor([&] { return static_cast<std::int64_t>(Consumed) * 8 > 10 * n; },
                                20000));
        ClickSwitch(Parts->Switch);
        QCOMPARE(wrong, 0);
        QVERIFY(events > 1);
        QCOMPARE(PeriodicMismatches(prbs, checked), 0);
        VerifyStopped(points);
        QCOMPARE(redrawsAmiss, 0);
        QCOMPARE(Redraws(), CompletedSweeps(Consumed, n));
        VerifyLastRedrawPainted();
    }

    // Armed by the first change of level, N samples from the edge, then stopped by itself.
    void singleSweepStartsAtTheFirstEdge() {
        const std::uint32_t seed = 777;
        StartSimulator({"--source", "prbs:" + std::to_string(seed), "--rate", "max"});
        Confirm(Parts->DeflectTime, QStringLiteral("0.1"));
        static_cast<recorder::TRadioGroup*>(Parts->DeflectOptions)->SetItemIndex(0);
        TBoxCloser boxes;
        ClickSwitch(Parts->Switch);
        CountRedraws();
        const int n = Form->SweepLength();
        QVERIFY(QTest::qWaitFor([&] { return !Form->Port().Open(); }, 5000));
        VerifyStopped(n);
        QVERIFY(boxes.Texts().isEmpty());
        // Drawn once, when complete.
        QCOMPARE(Redraws(), 1u);
        VerifyLastRedrawPainted();
        TPrbs prbs(seed);
        std::size_t edge = 1;
        while (prbs[edge] == prbs[0])
            ++edge;
        int wrong = 0;
        for (int i = 0; i < n; ++i)
            wrong += Parts->Series->YValues().ReadValue(i) != prbs[edge + static_cast<size_t>(i)];
        QCOMPARE(wrong, 0);
        ExpectReceived("\rRP 10\r");
    }

    // The trace being recorded is never replaced under the running handlers.
    void loadDuringARecordingIsRefused() {
        StartSimulator({"--source", "square:1000"});
        ClickSwitch(Parts->Switch);
        QVERIFY(QTest::qWaitFor([&] { return Form->Port().Open(); }, 3000));
        TBoxCloser boxes;
        auto* dialog = Form->findChild<QDialog*>(QStringLiteral("OpenDialog"));
        bool opened = false;
        QTimer::singleShot(0, dialog, [&] {
            opened = dialog->isVisible();
            dialog->reject();
        });
        Form->findChild<QAction*>(QStringLiteral("actLoad"))->trigger();
        Form->findChild<QAction*>(QStringLiteral("actImportVcd"))->trigger();
        const QString refused = QStringLiteral("Остановите запись перед загрузкой файла");
        QTRY_COMPARE(boxes.Texts(), (QStringList{refused, refused}));
        QVERIFY(!opened);
        QVERIFY(Form->Port().Open());
        ClickSwitch(Parts->Switch);
        QVERIFY(QTest::qWaitFor([&] { return !Form->Port().Open(); }, 3000));
    }

    // Shift-clicks near two rising edges of a recorded square wave put the markers on the edges'
    // first samples: dt is a whole number of sample periods.
    void shiftClickPutsMarkersOnEdges() {
        StartSimulator({"--source", "square:1000", "--rate", "max"});
        Confirm(Parts->DeflectTime, QStringLiteral("0.01"));
        static_cast<recorder::TRadioGroup*>(Parts->DeflectOptions)->SetItemIndex(0);
        ClickSwitch(Parts->Switch);
        QVERIFY(QTest::qWaitFor([&] { return !Form->Port().Open(); }, 5000));
        const auto& times = Parts->Series->XValues().Raw();
        const auto& levels = Parts->Series->YValues().Raw();
        std::vector<std::size_t> rising;
        for (std::size_t i = 1; i < levels.size(); ++i)
            if (levels[i] > levels[i - 1])
                rising.push_back(i);
        QVERIFY(rising.size() >= 4);

        Form->findChild<QAction*>(QStringLiteral("actViewMarkers"))->trigger();
        const auto shiftClick = [&](const char* marker, std::size_t edge, int dx) {
            Form->findChild<QAction*>(QString::fromLatin1(marker))->setChecked(true);
            const QPoint p(Parts->Series->ValueToPixelX(times[edge]) + dx,
                           Parts->Chart->PlotRect().center().y());
            QCursor::setPos(Parts->Chart->mapToGlobal(p));
            QTest::mouseClick(Parts->Chart, Qt::LeftButton, Qt::ShiftModifier, p);
        };
        shiftClick("actSetMarker1", rising[1], 3);
        shiftClick("actSetMarker2", rising[3], -2);
        const double period = static_cast<double>(Parts->SamplePeriod->Value());
        const double dt = static_cast<double>(rising[3] - rising[1]) * period;
        const QString text = Parts->Chart->Title().Text().value(0);
        QVERIFY2(text.contains(QStringLiteral("   dt=") + recorder::FormatGeneral(dt, 6) +
                               QStringLiteral(" мс")),
                 qPrintable(text));
        QVERIFY2(text.startsWith(QStringLiteral("t1=") +
                                 recorder::FormatGeneral(times[rising[1]], 6) +
                                 QStringLiteral(" мс")),
                 qPrintable(text));
    }

    // The device vanishes mid-recording: a message, the samples kept, the window stopped.
    void hangUpEndsTheRecording() {
        const std::uint32_t seed = 99;
        StartSimulator({"--source", "prbs:" + std::to_string(seed), "--rate", "max", "--fault",
                        "hangup:200000"});
        Confirm(Parts->DeflectTime, QStringLiteral("1"));
        TBoxCloser boxes;
        ClickSwitch(Parts->Switch);
        CountRedraws();
        VerifyRecording();
        WatchData();
        QVERIFY(QTest::qWaitFor([&] { return !boxes.Texts().isEmpty(); }, 5000));
        QVERIFY2(boxes.Texts().front().startsWith(QStringLiteral("Связь с прибором потеряна")),
                 qPrintable(boxes.Texts().front()));
        QVERIFY(QTest::qWaitFor([&] { return !Form->Port().Open(); }, 3000));
        VerifyStopped(Form->SweepLength());
        QVERIFY(Consumed > 0 && Consumed <= 200000);
        TPrbs prbs(seed);
        QCOMPARE(PeriodicMismatches(prbs, static_cast<std::int64_t>(Consumed) * 8), 0);
        QVERIFY2(boxes.Texts().size() == 1, qPrintable(boxes.Texts().join(u'|')));
        // The completed sweeps, then the trace as far as it came.
        QCOMPARE(Redraws(), CompletedSweeps(Consumed, Form->SweepLength()) + 1);
        VerifyLastRedrawPainted();
        // Responsive and startable again: with the device gone the next start fails at once and
        // says so. COM1 is pointed at a path that cannot exist, so that whatever /dev/ttyS0 this
        // machine has stays out of the test.
        QVERIFY(Simulator->WaitExit(std::chrono::seconds(2)).has_value());
        std::ofstream(Config.filePath(QStringLiteral("talvir/ports.ini")).toStdString())
            << "[Ports]\nCOM1=/nonexistent/talvir-tty\n";
        QElapsedTimer clock;
        clock.start();
        ClickSwitch(Parts->Switch);
        QVERIFY(clock.elapsed() < 2000);
        QVERIFY(QTest::qWaitFor([&] { return boxes.Texts().size() >= 2; }, 5000));
        QTest::qWait(300);
        QVERIFY2(boxes.Texts().size() == 2, qPrintable(boxes.Texts().join(u'|')));
    }

    void closingSendsCrOnlyWhileRecording() {
        auto device = StartOnMemoryLine({0x55});
        VerifyRecording();
        Form->close();
        QVERIFY(!Form->Port().Open());
        QCOMPARE(Written(*device), std::string("\rRP 10\r\r"));
        const std::size_t sent = device->Written().size();
        Form->show();
        Form->close();
        QCOMPARE(device->Written().size(), sent);
    }

    // Output held back (flow control, a stalled line): the stop closes the port after its limit.
    void stopDrainsForAtMostItsLimit() {
        auto device = StartOnMemoryLine({});
        VerifyRecording();
        device->StallWrites(true);
        QElapsedTimer clock;
        clock.start();
        ClickSwitch(Parts->Switch);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 1900 && elapsed < 3000, qPrintable(QString::number(elapsed)));
        VerifyStopped(103);
    }

    // A click queued while the start handles pending messages does not undo the start.
    void clickQueuedDuringTheStartIsIgnored() {
        StartSimulator({});
        const QPointF centre = Parts->Switch->rect().center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QCoreApplication::postEvent(
                Parts->Switch, new QMouseEvent(type, centre, Parts->Switch->mapToGlobal(centre),
                                               Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        }
        // Straight away: the queued click must still be waiting when the start begins.
        QTest::mouseClick(Parts->Switch, Qt::LeftButton, {}, centre.toPoint());
        VerifyRecording();
        ClickSwitch(Parts->Switch);
        VerifyStopped(103);
        ExpectReceived("\rRP 10\r");
    }

    // A double click starts once, whether the start succeeds or fails, and the lever shows
    // which; the next click acts on the recorder as it is.
    void doubleClickStartsOnce_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("device answers") << QString();
        QTest::newRow("device silent") << QStringLiteral("no-prompt");
    }
    void doubleClickStartsOnce() {
        QFETCH(QString, fault);
        StartSimulator(fault.isEmpty() ? std::vector<std::string>{}
                                       : std::vector<std::string>{"--fault", fault.toStdString()});
        TBoxCloser boxes;
        DoubleClickSwitch(Parts->Switch);
        if (fault.isEmpty()) {
            VerifyRecording();
            WatchData();
            QVERIFY(QTest::qWaitFor([&] { return Consumed > 100; }, 2000));
            QVERIFY(Parts->Switch->StateOn());
            ClickSwitch(Parts->Switch);
            VerifyStopped(103);
            ExpectReceived("\rRP 10\r");
        } else {
            VerifyStopped(103);
            QCOMPARE(boxes.Texts(), QStringList{QStringLiteral("Прибор не готов к работе")});
            ExpectReceived("\r");
        }
    }

    // A trace replaced by fewer points while recording (a file loaded) is never written beyond.
    void fewerPointsWhileRecording() {
        StartSimulator({"--rate", "max"});
        Confirm(Parts->DeflectTime, QStringLiteral("0.5"));
        TBoxCloser boxes;
        ClickSwitch(Parts->Switch);
        WatchData();
        Parts->Series->ClearPoints();
        for (int i = 0; i < 10; ++i)
            Parts->Series->AddPoint(i, 0.5);
        const std::uint64_t before = Consumed;
        QVERIFY(QTest::qWaitFor([&] { return Consumed > before + 100000; }, 5000));
        QVERIFY(boxes.Texts().isEmpty());
        QCOMPARE(Parts->Series->Count(), 10);
        ClickSwitch(Parts->Switch);
        QCOMPARE(Parts->StartLabel->text(), Stopped);
    }

    // A receive error ends the recording after its message; the memory line can make one.
    void lineErrorEndsTheRecording() {
        TBoxCloser boxes;
        auto device = StartOnMemoryLine({0xF0, 0x0F});
        CountRedraws();
        VerifyRecording();
        WatchData();
        QVERIFY(QTest::qWaitFor([&] { return Consumed == 2; }, 2000));
        device->InjectErrors(serial::leFraming);
        QVERIFY(QTest::qWaitFor([&] { return !boxes.Texts().isEmpty(); }, 2000));
        QCOMPARE(boxes.Texts().front(), QString::fromUtf8(recorder::kLineErrorPrefix) +
                                            QStringLiteral("UART receiver framing error"));
        VerifyStopped(103);
        // The samples of 0xF0 0x0F stay on the trace.
        QCOMPARE(Parts->Series->YValues().ReadValue(0), 1.0);
        QCOMPARE(Parts->Series->YValues().ReadValue(4), 0.0);
        QCOMPARE(Parts->Series->YValues().ReadValue(12), 1.0);
        QCOMPARE(Written(*device), std::string("\rRP 10\r\r"));
        // No sweep was completed; the samples so far are drawn after the message.
        QCOMPARE(Redraws(), 1u);
        VerifyLastRedrawPainted();
    }
};

int main(int argc, char** argv) {
    app::TApplication application(argc, argv);
    RecordingTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "recording_test.moc"
