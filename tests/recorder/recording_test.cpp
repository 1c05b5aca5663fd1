// Recordings end to end: the real window, the real serial stack, and talvir-devsim on a
// pseudo-terminal registered as COM1 in a private settings folder.

#include "support/recording_support.h"

#include "acquisition/sweep.h"
#include "app/application.h"
#include "numbers/number_format.h"
#include "recorder/radio_group.h"
#include "serial/device.h"
#include "serial/errors.h"
#include "support/memory_device.h"
#include "support/simulator_process.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
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

namespace {
const QString Started = QStringLiteral("Стоп");
const QString Stopped = QStringLiteral("Старт");

// The samples a source of the simulator streams from the command's echo on: its PRBS, or in test
// mode its test pattern, where byte k is k mod 256.
class TSourceStream {
public:
    static TSourceStream Prbs(std::uint32_t seed) { return TSourceStream(seed); }
    static TSourceStream TestPattern() { return TSourceStream(std::nullopt); }

    double operator[](std::int64_t i) {
        const auto index = static_cast<std::size_t>(i);
        if (prbs_)
            return (*prbs_)[index];
        return static_cast<double>((index / 8 % 256) >> (7 - index % 8) & 1u);
    }

private:
    explicit TSourceStream(std::optional<std::uint32_t> seed) {
        if (seed)
            prbs_.emplace(*seed);
    }
    std::optional<TPrbs> prbs_;
};
} // namespace

class RecordingTest : public TWindowTest {
    Q_OBJECT

private:
    std::unique_ptr<TWindowParts> Parts;
    std::unique_ptr<SimulatorProcess> Simulator;
    std::string LogPath;
    // Bytes handed to the data handler so far (counted by WatchData).
    std::uint64_t Consumed = 0;

    void StartSimulator(std::vector<std::string> args) {
        LogPath = Folder()
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
    std::shared_ptr<test_support::TMemoryDevice>
    StartOnMemoryLine(std::vector<std::uint8_t> samples) {
        auto device = std::make_shared<test_support::TMemoryDevice>();
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

    static std::string Written(const test_support::TMemoryDevice& device) {
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

    // Points of the series that differ from the stream after `samples` periodic samples: the
    // last completed sweep, its start overwritten by the samples of the unfinished one.
    int PeriodicMismatches(TSourceStream& stream, std::int64_t samples) const {
        const chart::TChartValueList& levels = Parts->Series->YValues();
        const std::int64_t n = levels.ValueCount();
        int wrong = 0;
        for (std::int64_t i = 0; i < n; ++i) {
            const std::int64_t source = PeriodicSource(i, samples, n);
            const double expected = source < 0 ? 0.0 : stream[source];
            wrong += levels.ReadValue(static_cast<int>(i)) != expected;
        }
        return wrong;
    }

    // Where in the stream the sweep after one that ended at sample `end` (0 for the first)
    // begins: right there when free-running; at the first edge of the trigger's kind after it,
    // the first sample only giving the level before; for a single sweep at the first sample
    // whose level differs from the first one.
    static std::int64_t SweepStart(TSourceStream& stream, int mode, int trigger, std::int64_t end) {
        std::int64_t s = std::max<std::int64_t>(end, 1);
        if (mode == 0) {
            while (stream[s] == stream[0])
                ++s;
            return s;
        }
        if (trigger == 0)
            return end;
        const double level = trigger == 1 ? 1.0 : 0.0;
        while (!(stream[s] == level && stream[s - 1] != level))
            ++s;
        return s;
    }

private slots:
    void init() {
        NewSettingsFolder();
        Consumed = 0;
        CreateWindow();
        Parts = std::make_unique<TWindowParts>(*Form);
        WatchRedraws();
        ShowWindow();
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
            std::ofstream(Path("talvir/ports.ini").toStdString())
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

    // Every sweep handed over to be drawn is checked whole against the stream, and every paint
    // while recording, between and during the sweeps (the chart is also marked dirty every few
    // ms, as zooms and markers do), shows the last of them exactly: never a sweep partly
    // overwritten by the next, which with the test pattern and an odd N shows a step that never
    // was on the line. Short sweeps wrap many times within a data event, long ones take many.
    void everyFrameShowsOneWholeSweep_data() {
        QTest::addColumn<QStringList>("source");
        QTest::addColumn<bool>("test");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<int>("mode"); // 0 single, 1 periodic
        QTest::addColumn<int>("trigger");
        QTest::addColumn<int>("points");
        const QStringList prbs{QStringLiteral("--source"), QStringLiteral("prbs:20261207")};
        const QStringList fast =
            prbs + QStringList{QStringLiteral("--rate"), QStringLiteral("max")};
        QTest::newRow("test pattern") << QStringList() << true << "0.001" << 1 << 0 << 103;
        QTest::newRow("PRBS") << prbs << false << "0.01" << 1 << 0 << 1025;
        QTest::newRow("PRBS, short sweep, fast line") << fast << false << "0.001" << 1 << 0 << 103;
        QTest::newRow("PRBS, long sweep, fast line") << fast << false << "1" << 1 << 0 << 102401;
        QTest::newRow("PRBS, rising edge") << prbs << false << "0.01" << 1 << 1 << 1025;
        QTest::newRow("PRBS, falling edge") << prbs << false << "0.01" << 1 << 2 << 1025;
        QTest::newRow("PRBS, single sweep") << prbs << false << "0.1" << 0 << 0 << 10241;
    }
    void everyFrameShowsOneWholeSweep() {
        QFETCH(QStringList, source);
        QFETCH(bool, test);
        QFETCH(QString, duration);
        QFETCH(int, mode);
        QFETCH(int, trigger);
        QFETCH(int, points);
        std::vector<std::string> args;
        for (const QString& arg : source)
            args.push_back(arg.toStdString());
        StartSimulator(args);
        Confirm(Parts->DeflectTime, duration);
        static_cast<recorder::TRadioGroup*>(Parts->DeflectOptions)->SetItemIndex(mode);
        Form->findChild<QComboBox*>(QStringLiteral("cmbTrigger"))->setCurrentIndex(trigger);
        Form->findChild<QCheckBox*>(QStringLiteral("chbTest"))->setChecked(test);
        TSourceStream stream = test ? TSourceStream::TestPattern() : TSourceStream::Prbs(20261207);
        const std::int64_t n = points;
        // The sweep handed over last (the start's zeros before the first), where it ended in the
        // stream, and how many were handed over, and wrong.
        std::vector<double> shown(static_cast<std::size_t>(n), 0.0);
        std::int64_t end = 0;
        int sweeps = 0;
        int wrongSweeps = 0;
        int frames = 0;
        int framesOfSweeps = 0;
        int wrongFrames = 0;
        QObject scope;
        // While recording, only completed sweeps ask for a redraw.
        connect(Parts->Chart, &chart::TChart::redrawRequested, &scope, [&] {
            if (!Form->Port().OnTriggerAvail)
                return;
            const std::vector<double>& levels = Parts->Series->YValues().Raw();
            const std::int64_t start = SweepStart(stream, mode, trigger, end);
            int wrong = 0;
            for (std::int64_t i = 0; i < n; ++i)
                wrong += levels[static_cast<std::size_t>(i)] != stream[start + i];
            wrongSweeps += wrong != 0;
            end = start + n;
            shown = levels;
            ++sweeps;
        });
        connect(Parts->Chart, &chart::TChart::painted, &scope, [&] {
            if (!Form->Port().Open())
                return;
            ++frames;
            framesOfSweeps += sweeps > 0;
            wrongFrames += Parts->Series->YValues().Raw() != shown;
        });
        QTimer marks;
        connect(&marks, &QTimer::timeout, Parts->Chart, &chart::TChart::Invalidate);
        marks.start(5);

        ClickSwitch(Parts->Switch);
        CountRedraws();
        VerifyRecording();
        QCOMPARE(Form->SweepLength(), points);
        int redrawsAmiss = 0;
        // A single sweep's handler removes itself, and with it a watch around it.
        if (mode == 1) {
            WatchData([&] {
                // A free-running sweep is drawn as soon as it is complete.
                if (trigger == 0)
                    redrawsAmiss += Redraws() != CompletedSweeps(Consumed, n);
            });
        }
        if (mode == 0) {
            QVERIFY(QTest::qWaitFor([&] { return !Form->Port().Open(); }, 10000));
            QCOMPARE(sweeps, 1);
        } else {
            QVERIFY(QTest::qWaitFor([&] { return sweeps >= 10 && framesOfSweeps >= 20; }, 20000));
            ClickSwitch(Parts->Switch);
        }
        marks.stop();
        const QString counts = QStringLiteral("%1 of %2 sweeps wrong, %3 of %4 frames wrong")
                                   .arg(wrongSweeps)
                                   .arg(sweeps)
                                   .arg(wrongFrames)
                                   .arg(frames);
        QVERIFY2(wrongSweeps == 0 && wrongFrames == 0, qPrintable(counts));
        QVERIFY2(frames >= 3, qPrintable(counts));
        VerifyStopped(points);
        VerifyLastRedrawPainted();
        if (mode == 1 && trigger == 0) {
            QCOMPARE(redrawsAmiss, 0);
            QCOMPARE(Redraws(), CompletedSweeps(Consumed, n));
            // The stop keeps the samples of the unfinished sweep.
            QCOMPARE(PeriodicMismatches(stream, static_cast<std::int64_t>(Consumed) * 8), 0);
        } else if (mode == 1) {
            // The unfinished sweep from its edge on, over the last completed one.
            const std::vector<double>& levels = Parts->Series->YValues().Raw();
            const std::int64_t start = SweepStart(stream, mode, trigger, end);
            std::int64_t fromStream = 0;
            while (fromStream < n &&
                   levels[static_cast<std::size_t>(fromStream)] == stream[start + fromStream])
                ++fromStream;
            std::int64_t fromShown = n;
            while (fromShown > 0 && levels[static_cast<std::size_t>(fromShown - 1)] ==
                                        shown[static_cast<std::size_t>(fromShown - 1)])
                --fromShown;
            QVERIFY2(fromShown <= fromStream,
                     qPrintable(QStringLiteral("%1 > %2").arg(fromShown).arg(fromStream)));
        } else {
            QCOMPARE(Parts->Series->YValues().Raw(), shown);
        }
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
        QVERIFY2(text.contains(QStringLiteral("   dt=") + numbers::FormatGeneral(dt, 6) +
                               QStringLiteral(" мс")),
                 qPrintable(text));
        QVERIFY2(text.startsWith(QStringLiteral("t1=") +
                                 numbers::FormatGeneral(times[rising[1]], 6) +
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
        TSourceStream prbs = TSourceStream::Prbs(seed);
        QCOMPARE(PeriodicMismatches(prbs, static_cast<std::int64_t>(Consumed) * 8), 0);
        QVERIFY2(boxes.Texts().size() == 1, qPrintable(boxes.Texts().join(u'|')));
        // The completed sweeps, then the trace as far as it came.
        QCOMPARE(Redraws(), CompletedSweeps(Consumed, Form->SweepLength()) + 1);
        VerifyLastRedrawPainted();
        // Responsive and startable again: with the device gone the next start fails at once and
        // says so. COM1 is pointed at a path that cannot exist, so that whatever /dev/ttyS0 this
        // machine has stays out of the test.
        QVERIFY(Simulator->WaitExit(std::chrono::seconds(2)).has_value());
        std::ofstream(Path("talvir/ports.ini").toStdString())
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
        QCOMPARE(boxes.Texts().front(), QString::fromUtf8(acquisition::kLineErrorPrefix) +
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
