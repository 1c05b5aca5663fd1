// Recordings with the trigger and the integrity monitor: the real window and serial stack with
// talvir-devsim on a pseudo-terminal registered as COM1 in a private settings folder.

#include "recording_support.h"

#include "app/application.h"
#include "devsim/simulator_process.h"

#include <QComboBox>
#include <QTemporaryDir>
#include <QtTest>

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
    void initTestCase() {
        QVERIFY(Config.isValid());
        qputenv("XDG_CONFIG_HOME", Config.path().toLocal8Bit());
        QDir().mkpath(Config.filePath(QStringLiteral("talvir")));
    }
    void init() {
        QFile::remove(Config.filePath(
            QStringLiteral("talvir/%1.INI")
                .arg(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName())));
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

    // A stalled device: the missing bytes shown in red within a second, the recording goes on.
    void stallShowsMissingBytes() {
        Confirm(Parts->SamplePeriod, QStringLiteral("0.0119358")); // divider 20
        StartSimulator({"--fault", "stall:3000:20000"});
        TBoxCloser boxes;
        Record(0);
        // Before the stall: all that the device sends arrives.
        QTest::qWait(1200);
        QVERIFY2(Monitor().contains(QStringLiteral(" кБ/с из 10.5")) && !MonitorRed(),
                 qPrintable(Monitor()));
        QTRY_VERIFY_WITH_TIMEOUT(Monitor().contains(QStringLiteral("не хватает")), 3500);
        QVERIFY(MonitorRed());
        QVERIFY(Parts->Switch->StateOn());
        QVERIFY(Form->Port().Open());
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
