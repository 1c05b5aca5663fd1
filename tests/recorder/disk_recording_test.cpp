// Recording to disk through the real window, the real serial stack and talvir-devsim's PRBS on a
// pseudo-terminal: the file read back continues the PRBS without a sample lost or repeated,
// whatever the sweeps show; a full disk ends the writing, not the recording; a killed window
// leaves a file that opens up to about a second before the kill.

#include "support/recording_support.h"

#include "app/application.h"
#include "capture/reader.h"
#include "recorder/radio_group.h"
#include "support/simulator_process.h"
#include "support/tmpfs.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <chrono>
#include <cstdio>
#include <memory>

using namespace recording_test;
using devsim_test::SimulatorProcess;

namespace {

constexpr std::uint32_t Seed = 20261208;
constexpr const char* DialogName = "RecordingFileDialog";
constexpr const char* KilledWindowArgument = "--killed-window";

// The bytes of a recording file, all of them.
std::vector<std::uint8_t> FileSamples(const capture::TRecordingReader& reader) {
    return reader.ReadBytes(0, static_cast<std::size_t>(reader.TotalSamples() / 8));
}

// The first byte that is not the PRBS's, or -1.
std::int64_t FirstWrongByte(const std::vector<std::uint8_t>& bytes) {
    TPrbs prbs(Seed);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] != prbs.Byte(i))
            return static_cast<std::int64_t>(i);
    return -1;
}

// Starts a recording of `form` with the button on, the file dialog answered with `path`.
bool StartToFile(recorder::TMainForm& form, const QString& path) {
    FindChild<QAction>(form, "actRecordToFile")->setChecked(true);
    return WithFile(form, DialogName, path,
                    [&] { ClickSwitch(FindChild<controls::TSwitch>(form, "swchStart")); });
}

// The child's part of the kill test: the window records to `path` and says on standard output
// how many bytes its data handler has taken, after each delivery, until it is killed.
int RecordUntilKilled(const QString& path) {
    recorder::TMainForm form;
    form.show();
    if (!StartToFile(form, path) || !form.Port().OnTriggerAvail)
        return 1;
    std::uint64_t taken = 0;
    AfterEachDelivery(form, [&](std::uint16_t count) {
        taken += count;
        std::printf("taken %llu\n", static_cast<unsigned long long>(taken));
        std::fflush(stdout);
    });
    return QApplication::exec();
}

} // namespace

class DiskRecordingTest : public TWindowTest {
    Q_OBJECT

private:
    std::unique_ptr<TWindowParts> Parts;
    std::unique_ptr<SimulatorProcess> Simulator;
    // Bytes handed to the data handler since the start.
    std::uint64_t Taken = 0;

    void StartSimulator() {
        const std::string log = Path("devsim.log").toStdString();
        Simulator = std::make_unique<SimulatorProcess>(std::vector<std::string>{
            "--source", "prbs:" + std::to_string(Seed), "--com", "1", "--log", log});
    }

    void SetSweep(int mode, int trigger, const char* duration) {
        Confirm(Parts->DeflectTime, QString::fromLatin1(duration));
        static_cast<recorder::TRadioGroup*>(Parts->DeflectOptions)->SetItemIndex(mode);
        Find<QComboBox>("cmbTrigger")->setCurrentIndex(trigger);
    }

    // Starts recording to `path` and counts the bytes taken from then on.
    void Start(const QString& path) {
        QVERIFY(StartToFile(*Form, path));
        QVERIFY(Form->Port().OnTriggerAvail);
        AfterEachDelivery(*Form, [this](std::uint16_t count) { Taken += count; });
    }

    void Stop() {
        ClickSwitch(Parts->Switch);
        QVERIFY(QTest::qWaitFor([&] { return !Form->Port().Open(); }, 5000));
    }

    // Records the PRBS into a file for `seconds` with the sweep given, and checks the file: every
    // byte the window took, each the PRBS's, in one unbroken run from the first.
    void RecordPrbs(int mode, int trigger, const char* duration, int seconds) {
        StartSimulator();
        SetSweep(mode, trigger, duration);
        const QString path = Path("prbs.tlr");
        TBoxCloser boxes;
        const auto before = std::chrono::system_clock::now();
        Start(path);
        QTest::qWait(seconds * 1000);
        // A single sweep completed long ago: the recording runs on into the file.
        QVERIFY(Form->Port().Open());
        QVERIFY(Parts->Switch->StateOn());
        QVERIFY(Find<QLabel>("DiskPanel")->isVisible());
        QVERIFY2(Find<QLabel>("DiskPanel")->text().startsWith(QStringLiteral("Запись в файл: 0:")),
                 qPrintable(Find<QLabel>("DiskPanel")->text()));
        Stop();
        QCOMPARE(boxes.Texts(), QStringList());
        QVERIFY(!Find<QLabel>("DiskPanel")->isVisible());

        const capture::TRecordingReader reader(path.toStdString());
        QVERIFY(reader.UsedIndex());
        QVERIFY(reader.BadBlocks().empty());
        const std::vector<std::uint8_t> bytes = FileSamples(reader);
        QCOMPARE(static_cast<std::uint64_t>(bytes.size()), Taken);
        QVERIFY2(bytes.size() > static_cast<std::size_t>(seconds) * 5000,
                 qPrintable(QString::number(bytes.size())));
        QCOMPARE(FirstWrongByte(bytes), -1);
        // At the device's rate the file is at most 3 % larger than the bytes it holds.
        const auto size = static_cast<double>(QFileInfo(path).size());
        qInfo("%zu bytes in a file of %.0f bytes: %+.2f %%", bytes.size(), size,
              100.0 * (size / static_cast<double>(bytes.size()) - 1));
        if (seconds >= 10)
            QVERIFY(size <= 1.03 * static_cast<double>(bytes.size()));

        const capture::THeader& header = reader.Header();
        QCOMPARE(header.Divider, 16u);
        QCOMPARE(header.Baud, 115200u);
        QCOMPARE(header.StopHalfBits, std::uint8_t{2});
        QCOMPARE(header.SweepMode, std::uint8_t(mode == 0 ? capture::smSingle : capture::smPeriodic));
        const capture::TTrigger triggers[] = {capture::trNone, capture::trRising,
                                              capture::trFalling};
        QCOMPARE(header.Trigger, std::uint8_t(mode == 0 ? capture::trFirstChange : triggers[trigger]));
        QCOMPARE(header.SweepMilliseconds,
                 static_cast<std::uint32_t>(std::lround(QString::fromLatin1(duration).toDouble() * 1000)));
        QVERIFY(QString::fromStdString(header.ProgramVersion).startsWith(QStringLiteral("Тальвир ")));
        const auto start = std::chrono::microseconds(header.StartMicroseconds);
        QVERIFY(start >= std::chrono::duration_cast<std::chrono::microseconds>(
                             before.time_since_epoch()));
        QVERIFY(start <= std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::system_clock::now().time_since_epoch()));

        if (mode == 0) {
            // The screen kept its single sweep: N samples from the first change of level.
            TPrbs prbs(Seed);
            std::size_t edge = 1;
            while (prbs[edge] == prbs[0])
                ++edge;
            int wrong = 0;
            for (int i = 0; i < Form->SweepLength(); ++i)
                wrong += Parts->Series->YValues().ReadValue(i) != prbs[edge + std::size_t(i)];
            QCOMPARE(wrong, 0);
        }
    }

private slots:
    void init() {
        NewSettingsFolder();
        Taken = 0;
        CreateWindow();
        Parts = std::make_unique<TWindowParts>(*Form);
        ShowWindow();
    }

    void cleanup() {
        Parts.reset();
        Form.reset();
        Simulator.reset();
    }

    void prbsGoesWholeIntoTheFile_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("trigger");
        QTest::addColumn<QString>("duration");
        QTest::newRow("periodic sweeps") << 1 << 0 << "0.01";
        QTest::newRow("periodic sweeps on a rising edge") << 1 << 1 << "0.1";
        QTest::newRow("single sweep") << 0 << 0 << "0.01";
    }
    void prbsGoesWholeIntoTheFile() {
        QFETCH(int, mode);
        QFETCH(int, trigger);
        QFETCH(QString, duration);
        RecordPrbs(mode, trigger, qPrintable(duration), 3);
    }

    // A minute of the PRBS through sweeps of 1 ms, some 1000 a second (ten seconds under
    // ThreadSanitizer, which slows everything tenfold).
    void prbsForAMinute() {
#if defined(__SANITIZE_THREAD__)
        const int seconds = 10;
#else
        const int seconds = 60;
#endif
        RecordPrbs(1, 0, "0.001", seconds);
    }

    // The disk fills up (a 64 KiB tmpfs, some five seconds of samples): one message naming the
    // file, the sweeps go on, and the file opens with every byte up to its last whole block.
    void fullDiskEndsTheWritingNotTheRecording() {
        const QString disk = Path("disk");
        QVERIFY(QDir().mkpath(disk));
        const test_support::TTmpfs mount(disk.toStdString(), 0);
        if (!mount.Mounted())
            QSKIP("no tmpfs may be mounted here");
        StartSimulator();
        SetSweep(1, 0, "0.01");
        const QString path = disk + QStringLiteral("/full.tlr");
        TBoxCloser boxes;
        Start(path);
        QVERIFY(QTest::qWaitFor([&] { return !boxes.Texts().isEmpty(); }, 20000));
        QVERIFY2(boxes.Texts().front().contains(QStringLiteral("Disk is full\n") + path),
                 qPrintable(boxes.Texts().front()));
        const std::uint64_t takenAtTheBox = Taken;
        QVERIFY(QTest::qWaitFor([&] { return Taken > takenAtTheBox + 10000; }, 5000));
        QVERIFY(Parts->Switch->StateOn());
        QCOMPARE(Find<QLabel>("DiskPanel")->text(), QStringLiteral("Запись в файл прекращена"));
        Stop();
        QCOMPARE(boxes.Texts().size(), 1);

        const capture::TRecordingReader reader(path.toStdString());
        const std::vector<std::uint8_t> bytes = FileSamples(reader);
        QVERIFY2(bytes.size() > 30000, qPrintable(QString::number(bytes.size())));
        QCOMPARE(FirstWrongByte(bytes), -1);
    }

    // The file is the recording's from its switch on to its switch off: the button does not
    // change while the switch is on, and a start whose file dialog is cancelled does not start.
    void buttonWaitsForTheSwitch() {
        QAction* button = Action("actRecordToFile");
        QVERIFY(!button->isChecked());
        StartSimulator();
        button->setChecked(true);
        QVERIFY(WithFile(*Form, DialogName, QString(), [&] { ClickSwitch(Parts->Switch); }));
        QVERIFY(!Form->Port().Open());
        QVERIFY(!Parts->Switch->StateOn());
        QVERIFY(QDir(Folder().path()).entryList({QStringLiteral("*.tlr")}).isEmpty());

        button->setChecked(false);
        ClickSwitch(Parts->Switch);
        QVERIFY(QTest::qWaitFor([&] { return Form->Port().Open(); }, 3000));
        QVERIFY(!button->isEnabled());
        button->trigger();
        QVERIFY(!button->isChecked());
        Stop();
        QVERIFY(button->isEnabled());
        button->trigger();
        QVERIFY(button->isChecked());
    }

    // kill -9 of the window after 4.6 s of recording (between two of the writer's one-second
    // blocks, were they in step with the first byte): the file opens, the PRBS whole, with all but
    // the last second or so that the window had taken.
    void killedWindowLeavesTheFileUpToTheLastSecond() {
        StartSimulator();
        const QString path = Path("killed.tlr");
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(KilledWindowArgument), path});
        std::uint64_t taken = 0;
        QElapsedTimer recording;
        const auto readTaken = [&] {
            while (child.canReadLine()) {
                const QByteArray line = child.readLine().trimmed();
                if (line.startsWith("taken ")) {
                    taken = line.mid(6).toULongLong();
                    if (!recording.isValid())
                        recording.start();
                }
            }
        };
        QElapsedTimer wall;
        wall.start();
        while (wall.elapsed() < 30000 && (!recording.isValid() || recording.elapsed() < 4600)) {
            child.waitForReadyRead(100);
            readTaken();
        }
        QVERIFY(recording.isValid());
        child.kill();
        QVERIFY(child.waitForFinished(5000));
        readTaken();
        const double seconds = static_cast<double>(recording.elapsed()) / 1000;

        const capture::TRecordingReader reader(path.toStdString());
        QVERIFY(!reader.UsedIndex());
        const std::vector<std::uint8_t> bytes = FileSamples(reader);
        QCOMPARE(FirstWrongByte(bytes), -1);
        const double rate = static_cast<double>(taken) / seconds;
        const double lost = static_cast<double>(taken - bytes.size()) / rate;
        qInfo("killed after %.2f s: %zu of %llu bytes taken in the file, %.2f s lost", seconds,
              bytes.size(), static_cast<unsigned long long>(taken), lost);
        QVERIFY(bytes.size() <= taken);
        QVERIFY2(static_cast<double>(bytes.size()) >= rate,
                 qPrintable(QStringLiteral("%1 s lost").arg(lost)));
    }
};

int main(int argc, char** argv) {
    app::TApplication application(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], KilledWindowArgument) == 0)
        return RecordUntilKilled(QString::fromLocal8Bit(argv[2]));
    DiskRecordingTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "disk_recording_test.moc"
