// Recordings with the trigger and the integrity monitor: the real window and serial stack with
// talvir-devsim on a pseudo-terminal registered as COM1 in a private settings folder.

#include "support/recording_support.h"

#include "acquisition/integrity.h"
#include "acquisition/timing.h"
#include "app/application.h"
#include "support/simulator_process.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>

using namespace recording_test;
using devsim_test::SimulatorProcess;

class MeasureRecordingTest : public TWindowTest {
    Q_OBJECT

private:
    std::unique_ptr<TWindowParts> Parts;
    std::unique_ptr<SimulatorProcess> Simulator;

    void StartSimulator(std::vector<std::string> args) {
        args.insert(args.end(), {"--com", "1"});
        Simulator = std::make_unique<SimulatorProcess>(args);
    }
    QString Monitor() const {
        return Form->findChild<QLabel*>(QStringLiteral("StatusPanel2"))->text();
    }
    bool MonitorRed() const {
        return Form->findChild<QLabel*>(QStringLiteral("StatusPanel2"))
            ->styleSheet()
            .contains(QStringLiteral("red"));
    }
    void Record(int trigger) {
        Form->findChild<QComboBox*>(QStringLiteral("cmbTrigger"))->setCurrentIndex(trigger);
        ClickSwitch(Parts->Switch);
        QVERIFY(Form->Port().OnTriggerAvail);
        QVERIFY(!Form->findChild<QComboBox*>(QStringLiteral("cmbTrigger"))->isEnabled());
    }
    // The recording's counts as an exported VCD's comment names them.
    struct TComment {
        bool Found = false;
        std::string Text; // the comment, or the file's start when it names no counts
        std::uint64_t Received = 0;
        std::uint64_t Expected = 0;
        double Seconds = 0;
        std::uint64_t Missing = 0;
    };
    static TComment ReadComment(const std::string& vcd) {
        TComment comment;
        comment.Text = vcd.substr(0, vcd.find("$end\n$timescale"));
        const QRegularExpression counts(QStringLiteral(
            "\n  Recording: received (\\d+) sample bytes of (\\d+) expected in ([0-9.]+) s, "
            "(\\d+) missing\\.\n"));
        const QRegularExpressionMatch match = counts.match(QString::fromStdString(comment.Text));
        if (!match.hasMatch())
            return comment;
        comment.Found = true;
        comment.Text = match.captured(0).trimmed().toStdString();
        comment.Received = match.captured(1).toULongLong();
        comment.Expected = match.captured(2).toULongLong();
        comment.Seconds = match.captured(3).toDouble();
        comment.Missing = match.captured(4).toULongLong();
        return comment;
    }
    // The trace each time a completed sweep asks to be drawn.
    std::vector<std::vector<double>> Sweeps;
    void CollectSweeps() {
        connect(Parts->Chart, &chart::TChart::redrawRequested, this,
                [this] { Sweeps.push_back(Parts->Series->YValues().Raw()); });
    }

private slots:
    void init() {
        NewSettingsFolder();
        Sweeps.clear();
        ShowNewWindow();
        Parts = std::make_unique<TWindowParts>(*Form);
    }
    void cleanup() {
        Parts.reset();
        Form.reset();
        Simulator.reset();
    }

    // A 1 kHz square at 25 % duty in periodic sweeps of 103 samples: every sweep begins with
    // the chosen edge, and its pulse ends at the same place within a sample.
    void edgeHoldsTheSquareStill_data() {
        QTest::addColumn<int>("trigger");
        QTest::addColumn<double>("level"); // at point 0
        QTest::newRow("rising") << 1 << 1.0;
        QTest::newRow("falling") << 2 << 0.0;
    }
    void edgeHoldsTheSquareStill() {
        QFETCH(int, trigger);
        QFETCH(double, level);
        StartSimulator({"--source", "square:1000:0.25"});
        Record(trigger);
        CollectSweeps();
        QVERIFY(QTest::qWaitFor([&] { return Sweeps.size() >= 20; }, 5000));
        std::vector<int> ends;
        for (const std::vector<double>& sweep : Sweeps) {
            QCOMPARE(sweep.at(0), level);
            ends.push_back(static_cast<int>(
                std::find_if(sweep.begin(), sweep.end(), [&](double v) { return v != level; }) -
                sweep.begin()));
        }
        const auto [least, most] = std::minmax_element(ends.begin(), ends.end());
        QVERIFY2(*most - *least <= 1, qPrintable(QStringLiteral("%1..%2").arg(*least).arg(*most)));
        QVERIFY(!Monitor().contains(QStringLiteral("Нет запуска")));
    }

    // A line that stays high for seconds: free sweeps, and the panel says why.
    void steadyLineRunsFree() {
        StartSimulator({"--source", "square:0.1"});
        Record(1);
        CollectSweeps();
        QTRY_VERIFY_WITH_TIMEOUT(Monitor().startsWith(QStringLiteral("Нет запуска")), 2000);
        QVERIFY(QTest::qWaitFor([&] { return Sweeps.size() >= 5; }, 2000));
    }

    // A stalled device: the missing bytes shown in red within a second of the stall's start,
    // and the recording goes on through it and after it.
    void stallShowsMissingBytesWithinASecond() {
        Confirm(Parts->SamplePeriod, QStringLiteral("0.0119358")); // divider 20
        const QString log = Path("devsim.log");
        StartSimulator({"--fault", "stall:1500:20000", "--log", log.toStdString()});
        TBoxCloser boxes;
        Record(0);
        // Before the stall: all that the device sends arrives.
        QTest::qWait(1200);
        QVERIFY2(Monitor().contains(QStringLiteral(" кБ/с из 10.5")) && !MonitorRed(),
                 qPrintable(Monitor()));
        // The simulator logs the stall as it queues the last bytes before it, so the gap on the
        // line begins no earlier than the line is seen here.
        QElapsedTimer clock;
        clock.start();
        qint64 stalledAt = -1;
        qint64 reportedAt = -1;
        while (reportedAt < 0 && clock.elapsed() < 5000) {
            QTest::qWait(2);
            if (stalledAt < 0 && FileBytes(log).find(" stall 1500 ms after ") != std::string::npos)
                stalledAt = clock.elapsed();
            if (MonitorRed())
                reportedAt = clock.elapsed();
        }
        QVERIFY2(stalledAt >= 0, "the simulator logged no stall");
        QVERIFY2(reportedAt >= stalledAt, qPrintable(QStringLiteral("red %1 ms, stall %2 ms: %3")
                                                         .arg(reportedAt)
                                                         .arg(stalledAt)
                                                         .arg(Monitor())));
        qInfo().noquote() << QStringLiteral("missing bytes shown %1 ms after the stall began: %2")
                                 .arg(reportedAt - stalledAt)
                                 .arg(Monitor());
        QVERIFY(Monitor().contains(QStringLiteral("не хватает")));
        QVERIFY(reportedAt - stalledAt <= 1000);
        QVERIFY(Parts->Switch->StateOn());
        QVERIFY(Form->Port().Open());
        // After the stall the bytes come again and the figure is no longer red.
        QTRY_VERIFY_WITH_TIMEOUT(!MonitorRed(), 4000);
        QVERIFY2(Monitor().contains(QStringLiteral(" кБ/с из 10.5")), qPrintable(Monitor()));
        QVERIFY(Parts->Switch->StateOn());
        QVERIFY(boxes.Texts().isEmpty());
    }

    // At long periods a few bytes a second come: the figure in B/s, never red while nothing is
    // lost, and red within the window's length once the device stalls. The stall comes after
    // about five seconds: ten updates of the panel, a third of which a one-second window turned
    // red at 10 ms and beyond.
    void longPeriodIsRedOnlyAfterAStall_data() {
        QTest::addColumn<QString>("period"); // ms
        QTest::addColumn<QString>("rate");   // bytes a second, "." for the separator
        QTest::addColumn<int>("stallAfter"); // bytes
        QTest::addColumn<int>("stallMs");
        QTest::newRow("2 ms") << QStringLiteral("2") << QStringLiteral("62.5") << 312 << 1500;
        QTest::newRow("10 ms") << QStringLiteral("10") << QStringLiteral("12.5") << 62 << 2000;
        QTest::newRow("35.556 ms")
            << QStringLiteral("35.556") << QStringLiteral("3.5") << 18 << 3000;
    }
    void longPeriodIsRedOnlyAfterAStall() {
        QFETCH(QString, period);
        QFETCH(QString, rate);
        QFETCH(int, stallAfter);
        QFETCH(int, stallMs);
        Confirm(Parts->SamplePeriod, period);
        const double window = acquisition::IntegrityWindow(acquisition::DeviceByteRate(
            acquisition::PeriodToDivider(Parts->SamplePeriod->Value())));
        const QString log = Path("devsim.log");
        QFile::remove(log);
        const std::string stall =
            "stall:" + std::to_string(stallMs) + ":" + std::to_string(stallAfter);
        StartSimulator({"--fault", stall, "--log", log.toStdString()});
        TBoxCloser boxes;
        Record(0);
        const QString separator = QRegularExpression::escape(QLocale().decimalPoint());
        const QRegularExpression figure(
            QStringLiteral("^\\d+%1\\d Б/с из %2$")
                .arg(separator, QString(rate).replace(QStringLiteral("."), separator)));
        const std::string stalled = " stall " + std::to_string(stallMs) + " ms after ";
        QStringList texts;
        QStringList red;
        QElapsedTimer clock;
        clock.start();
        qint64 stalledAt = -1;
        while (stalledAt < 0 && clock.elapsed() < 15000) {
            QTest::qWait(20);
            if (FileBytes(log).find(stalled) != std::string::npos)
                stalledAt = clock.elapsed();
            else if (texts.isEmpty() || texts.back() != Monitor())
                texts << Monitor();
            if (stalledAt < 0 && MonitorRed())
                red << QStringLiteral("%1 s: %2").arg(clock.elapsed() / 1000.0).arg(Monitor());
        }
        QVERIFY2(stalledAt >= 0, "the simulator logged no stall");
        QVERIFY2(red.isEmpty(), qPrintable(red.join(u'\n')));
        QVERIFY2(texts.filter(figure).size() >= 2, qPrintable(texts.join(u'|')));

        qint64 reportedAt = -1;
        while (reportedAt < 0 && clock.elapsed() - stalledAt < (window + 1) * 1000) {
            QTest::qWait(20);
            if (MonitorRed())
                reportedAt = clock.elapsed();
        }
        QVERIFY2(reportedAt >= 0, qPrintable(Monitor()));
        qInfo().noquote() << QStringLiteral(
                                 "%1 different readings without loss, missing bytes shown %2 ms "
                                 "after the stall began (window %3 s): %4")
                                 .arg(texts.size())
                                 .arg(reportedAt - stalledAt)
                                 .arg(window, 0, 'f', 1)
                                 .arg(Monitor());
        QVERIFY(reportedAt - stalledAt <= window * 1000);
        QVERIFY(Monitor().contains(QStringLiteral("не хватает")));
        QVERIFY(boxes.Texts().isEmpty());
    }

    // The device lost while its box stays open: the comment counts the recording up to the loss,
    // not up to the box's closing; only the moment between the last byte and the hang-up being
    // noticed is missing.
    void exportCommentEndsAtTheLoss() {
        Confirm(Parts->SamplePeriod, QStringLiteral("0.0119358")); // divider 20
        StartSimulator({"--fault", "hangup:15000"});
        TBoxCloser boxes(std::chrono::milliseconds(3000));
        QElapsedTimer clock;
        clock.start();
        // The box runs a loop of its own: it is seen from a timer of that loop.
        double lostAt = -1;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            if (lostAt < 0 && QApplication::activeModalWidget())
                lostAt = clock.elapsed() / 1000.0;
        });
        watch.start(10);
        Record(0);
        QVERIFY(QTest::qWaitFor([&] { return !boxes.Texts().isEmpty(); }, 10000));
        QVERIFY(lostAt > 0);
        QVERIFY2(boxes.Texts().front().startsWith(QStringLiteral("Связь с прибором потеряна")),
                 qPrintable(boxes.Texts().front()));
        QVERIFY(!Form->Port().Open());

        const QString path = Path("lost.vcd");
        QVERIFY(TriggerWithFile(*Form, "actExportVcd", "ExportVcdDialog", path));
        const TComment comment = ReadComment(FileBytes(path));
        QVERIFY2(comment.Found, comment.Text.c_str());
        qInfo().noquote() << QStringLiteral("box open at %1 s:").arg(lostAt)
                          << comment.Text.c_str();
        QVERIFY2(comment.Seconds <= lostAt, comment.Text.c_str());
        QVERIFY2(std::abs(static_cast<double>(comment.Expected) - 10472.727 * comment.Seconds) <= 1,
                 comment.Text.c_str());
        QCOMPARE(comment.Missing, comment.Expected - std::min(comment.Expected, comment.Received));
        // The hang-up is noticed a little after the last byte, never half a second's bytes later.
        QVERIFY2(comment.Missing < 5000, comment.Text.c_str());
        QVERIFY(boxes.Texts().size() == 1);
    }

    // The VCD export of a recording names in its comment what the recording received and
    // expected: here with a second's stall, so that bytes are missing. A trace loaded later
    // isn't the recording's and has no such counts.
    void exportCommentHoldsTheRecordingsCounts() {
        Confirm(Parts->SamplePeriod, QStringLiteral("0.0119358")); // divider 20
        StartSimulator({"--fault", "stall:1000:5000"});
        TBoxCloser boxes;
        QElapsedTimer clock;
        clock.start();
        Record(0);
        // What reaches the data handler, counted apart from the window's own count.
        std::uint64_t handed = 0;
        const auto handler = Form->Port().OnTriggerAvail;
        Form->Port().OnTriggerAvail = [&handed, handler](serial::TSerialPort* cp,
                                                         std::uint16_t count) {
            handed += count;
            handler(cp, count);
        };
        QTest::qWait(3000);
        ClickSwitch(Parts->Switch);
        const double recorded = clock.elapsed() / 1000.0;
        QVERIFY(!Form->Port().Open());
        QVERIFY(boxes.Texts().isEmpty());

        const QString path = Path("recording.vcd");
        QVERIFY(TriggerWithFile(*Form, "actExportVcd", "ExportVcdDialog", path));
        const TComment comment = ReadComment(FileBytes(path));
        QVERIFY2(comment.Found, comment.Text.c_str());
        qInfo().noquote() << comment.Text.c_str() << "handed to the data handler:" << handed;
        QCOMPARE(comment.Received, handed);
        // The device's 10472.7 bytes a second at divider 20, which the line carries.
        QVERIFY2(std::abs(static_cast<double>(comment.Expected) - 10472.727 * comment.Seconds) <= 1,
                 comment.Text.c_str());
        QVERIFY2(comment.Seconds > 2.9 && comment.Seconds <= recorded, comment.Text.c_str());
        QCOMPARE(comment.Missing, comment.Expected - comment.Received);
        // About a second's bytes, 10473, lost to the stall.
        QVERIFY2(comment.Missing > 9000 && comment.Missing < 14000, comment.Text.c_str());

        // A trace loaded afterwards is not the recording's: its export names no counts.
        const QString saved = Path("recording.txt");
        QVERIFY(TriggerWithFile(*Form, "actSave", "SaveDialog", saved));
        QVERIFY(TriggerWithFile(*Form, "actLoad", "OpenDialog", saved));
        const QString again = Path("loaded.vcd");
        QVERIFY(TriggerWithFile(*Form, "actExportVcd", "ExportVcdDialog", again));
        const std::string loaded = FileBytes(again);
        QVERIFY2(loaded.find("$comment\n  talvir sample period ") != std::string::npos,
                 loaded.substr(0, 600).c_str());
        QVERIFY2(loaded.find("Recording:") == std::string::npos, loaded.substr(0, 600).c_str());
        QVERIFY(boxes.Texts().isEmpty());
    }

    // At the shortest period the line, not the device, limits the rate.
    void lineSlowerThanTheDevice() {
        StartSimulator({});
        Record(0);
        QTest::qWait(1600);
        QTRY_VERIFY_WITH_TIMEOUT(Monitor().contains(QStringLiteral("линия медленнее прибора")),
                                 1500);
        QVERIFY(Monitor().contains(QStringLiteral("из 12.8")));
        QVERIFY(!MonitorRed());
    }
};

int main(int argc, char** argv) {
    app::TApplication application(argc, argv);
    MeasureRecordingTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "measure_recording_test.moc"
