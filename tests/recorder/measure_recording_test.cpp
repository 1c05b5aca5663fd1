// Recordings with the trigger and the integrity monitor: the real window and serial stack with
// talvir-devsim on a pseudo-terminal registered as COM1 in a private settings folder.

#include "recording_support.h"

#include "app/application.h"
#include "devsim/simulator_process.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

using namespace recording_test;
using devsim_test::SimulatorProcess;

class MeasureRecordingTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir Config;
    std::unique_ptr<recorder::TMainForm> Form;
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
    // The trace each time a completed sweep asks to be drawn.
    std::vector<std::vector<double>> Sweeps;
    void CollectSweeps() {
        connect(Parts->Chart, &chart::TChart::redrawRequested, this,
                [this] { Sweeps.push_back(Parts->Series->YValues().Raw()); });
    }

private slots:
    void initTestCase() { QVERIFY(UseSettingsFolder(Config)); }
    void init() {
        ForgetWindowSettings(Config);
        Sweeps.clear();
        Form = std::make_unique<recorder::TMainForm>();
        Parts = std::make_unique<TWindowParts>(*Form);
        Form->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form.get()));
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
        const QString log = Config.filePath(QStringLiteral("devsim.log"));
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

        const QString path = Config.filePath(QStringLiteral("recording.vcd"));
        QVERIFY(TriggerWithFile(*Form, "actExportVcd", "ExportVcdDialog", path));
        const std::string vcd = FileBytes(path);
        const std::string comment = vcd.substr(0, vcd.find("$end\n$timescale"));
        const QRegularExpression counts(QStringLiteral(
            "\n  Recording: received (\\d+) sample bytes of (\\d+) expected in ([0-9.]+) s, "
            "(\\d+) missing\\.\n"));
        const QRegularExpressionMatch match = counts.match(QString::fromStdString(comment));
        QVERIFY2(match.hasMatch(), comment.c_str());
        qInfo().noquote() << match.captured(0).trimmed() << "handed to the data handler:" << handed;
        const std::uint64_t received = match.captured(1).toULongLong();
        const std::uint64_t expected = match.captured(2).toULongLong();
        const double seconds = match.captured(3).toDouble();
        const std::uint64_t missing = match.captured(4).toULongLong();
        QCOMPARE(received, handed);
        // The device's 10472.7 bytes a second at divider 20, which the line carries.
        QVERIFY2(std::abs(static_cast<double>(expected) - 10472.727 * seconds) <= 1,
                 comment.c_str());
        QVERIFY2(seconds > 2.9 && seconds <= recorded, comment.c_str());
        QCOMPARE(missing, expected - received);
        // About a second's bytes, 10473, lost to the stall.
        QVERIFY2(missing > 9000 && missing < 14000, comment.c_str());

        // A trace loaded afterwards is not the recording's: its export names no counts.
        const QString saved = Config.filePath(QStringLiteral("recording.txt"));
        QVERIFY(TriggerWithFile(*Form, "actSave", "SaveDialog", saved));
        QVERIFY(TriggerWithFile(*Form, "actLoad", "OpenDialog", saved));
        const QString again = Config.filePath(QStringLiteral("loaded.vcd"));
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
