// The window's CPU time while it records talvir-devsim at the shortest sample period, for three
// sweep lengths: about 900 sweeps a second (N = 103), 90 (N = 1025) and one (N = 102401), each
// without and with "Запись в файл" writing every byte to a .tlr file. The simulator sends what a
// 115200-baud line carries, about 23 bytes every 2 ms. The figure is the process's user and
// system time over a span of wall time, all threads included; the bytes the data handler was
// offered show that the stream was taken in full meanwhile, the wake-ups how often its threads
// slept and were woken.
//
//   bench_recording_cpu [SECONDS [N]]    (default 10 s a sweep length, all three; build it
//                                         optimised; N = 103, 1025 or 102401 runs that one only)
//
// A long recording to disk of the simulator's PRBS with sweeps of N = 1025: the window's resident
// memory at each minute, its CPU time, the file's size against the device's bytes it holds, and
// those bytes checked against the PRBS (none lost, none repeated).
//
//   bench_recording_cpu --disk [SECONDS]  (default 120; 3600 for the hour)
//
// With the "Декодер" panel reading dense UART text (25600 baud, a frame's idle between the
// repetitions) by uart: the time from a single sweep's last received byte to the picture with its
// annotations, for a sweep of 500,001 samples, three times; then periodic sweeps of N = 1025 and
// N = 102401 for SECONDS each, the window's CPU and the decoder host's beside it.
//
//   bench_recording_cpu --decode [SECONDS [N]]  (default 10; N = 1025 or 102401 measures only the
//                                              CPU of that one)

#include "capture/reader.h"
#include "chart/chart.h"
#include "controls/spin_edit.h"
#include "controls/switch.h"
#include "recorder/main_form.h"
#include "recorder/radio_group.h"
#include "support/recording_support.h"
#include "support/simulator_process.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/resource.h>
#include <unistd.h>

namespace {

double CpuSeconds() {
    rusage Usage{};
    ::getrusage(RUSAGE_SELF, &Usage);
    const auto Seconds = [](const timeval& T) { return double(T.tv_sec) + T.tv_usec / 1e6; };
    return Seconds(Usage.ru_utime) + Seconds(Usage.ru_stime);
}

// The window's own event loop for a while; QTest::qWait would sleep between its passes and so
// batch the deliveries as the program never does.
void RunFor(int Ms) {
    QEventLoop Loop;
    QTimer::singleShot(Ms, &Loop, &QEventLoop::quit);
    Loop.exec();
}

class TBoxCloser : public QObject {
protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::Show)
            if (auto* Box = qobject_cast<QMessageBox*>(Watched)) {
                std::fprintf(stderr, "box: %s\n", qPrintable(Box->text()));
                QTimer::singleShot(0, Box, [Box] { Box->done(0); });
            }
        return false;
    }
};

// How often the process's threads went to sleep and were woken again, all threads together.
double WakeUps() {
    double Total = 0;
    for (const QString& Task :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile Status(QStringLiteral("/proc/self/task/%1/status").arg(Task));
        if (!Status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& Line : Status.readAll().split('\n'))
            if (Line.startsWith("voluntary_ctxt_switches:"))
                Total += Line.mid(24).trimmed().toDouble();
    }
    return Total;
}

struct TRun {
    double CpuPercent;
    double BytesPerSecond;
    double PaintsPerSecond;
    double WakeUpsPerSecond;
};

// The window shown, at the shortest period and with the sweep duration given, counting the bytes
// offered to its data handler into `Offered`.
controls::TSwitch* SetUp(recorder::TMainForm& Form, const char* DeflectSeconds, uint64_t& Offered) {
    Form.show();
    auto* Period = Form.findChild<controls::TSpinEdit*>(QStringLiteral("spedSamplePeriod"));
    auto* Deflect = Form.findChild<controls::TSpinEdit*>(QStringLiteral("spedDeflectTime"));
    for (auto [Edit, Text] : {std::pair{Period, "0.0097656"}, std::pair{Deflect, DeflectSeconds}}) {
        QLineEdit* Editor = Edit->Editor();
        Editor->setFocus(Qt::MouseFocusReason);
        Editor->selectAll();
        QTest::keyClick(Editor, Qt::Key_Delete);
        QTest::keyClicks(Editor, QString::fromLatin1(Text).replace(u'.', QLocale().decimalPoint()));
        QTest::keyClick(Editor, Qt::Key_Tab);
    }
    Form.Port().OnTrigger = [&Offered](serial::TSerialPort*, uint16_t Msg, uint16_t,
                                       uint16_t Data) {
        if (Msg == serial::cwmAvail)
            Offered += Data;
    };
    return Form.findChild<controls::TSwitch*>(QStringLiteral("swchStart"));
}

// A click on the switch, with "Запись в файл" on and its file `DiskFile`, or off for none.
void Start(recorder::TMainForm& Form, controls::TSwitch* Switch, const QString& DiskFile) {
    Form.findChild<QAction*>(QStringLiteral("actRecordToFile"))->setChecked(!DiskFile.isEmpty());
    recording_test::WithFile(Form, "RecordingFileDialog", DiskFile, [&] {
        QTest::mouseClick(Switch, Qt::LeftButton, {}, Switch->rect().center());
    });
}

double ResidentMegabytes() {
    QFile Status(QStringLiteral("/proc/self/status"));
    if (!Status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& Line : Status.readAll().split('\n'))
        if (Line.startsWith("VmRSS:"))
            return Line.mid(6).trimmed().split(' ').front().toDouble() / 1024;
    return 0;
}

// `DiskFile`: where the recording goes with "Запись в файл" on; none for the sweeps alone.
TRun Record(const char* DeflectSeconds, int Seconds, const QString& DiskFile) {
    devsim_test::SimulatorProcess Simulator({"--com", "1", "--source", "square:1000"});
    recorder::TMainForm Form;
    uint64_t Offered = 0;
    controls::TSwitch* Switch = SetUp(Form, DeflectSeconds, Offered);
    int Paints = 0;
    auto* Chart = Form.findChild<chart::TChart*>(QStringLiteral("Chart"));
    QObject::connect(Chart, &chart::TChart::painted, [&] { ++Paints; });
    Start(Form, Switch, DiskFile);
    RunFor(1000); // the start and the first sweeps
    const uint64_t OfferedBefore = Offered;
    const int PaintsBefore = Paints;
    const double WakeUpsBefore = WakeUps();
    const double Before = CpuSeconds();
    QElapsedTimer Wall;
    Wall.start();
    RunFor(Seconds * 1000);
    const double Cpu = CpuSeconds() - Before;
    const double Woken = WakeUps() - WakeUpsBefore;
    const double Elapsed = Wall.elapsed() / 1000.0;
    const double Bytes = double(Offered - OfferedBefore);
    QTest::mouseClick(Switch, Qt::LeftButton, {}, Switch->rect().center());
    Form.Port().OnTrigger = nullptr;
    return {100.0 * Cpu / Elapsed, Bytes / Elapsed, (Paints - PaintsBefore) / Elapsed,
            Woken / Elapsed};
}

void RecordToDisk(int Seconds, const QString& DiskFile) {
    constexpr std::uint32_t Seed = 20261208;
    devsim_test::SimulatorProcess Simulator(
        {"--com", "1", "--source", "prbs:" + std::to_string(Seed)});
    recorder::TMainForm Form;
    uint64_t Offered = 0;
    controls::TSwitch* Switch = SetUp(Form, "0.01", Offered);
    const double Before = CpuSeconds();
    Start(Form, Switch, DiskFile);
    std::printf("%-8s %14s %14s\n", "minute", "resident MB", "file MB");
    for (int Second = 1; Second <= Seconds; ++Second) {
        RunFor(1000);
        if (Second % 60 == 0 || Second == Seconds)
            std::printf("%-8.1f %14.2f %14.2f\n", Second / 60.0, ResidentMegabytes(),
                        double(QFile(DiskFile).size()) / 1e6);
        std::fflush(stdout);
    }
    const double Cpu = CpuSeconds() - Before;
    QTest::mouseClick(Switch, Qt::LeftButton, {}, Switch->rect().center());
    Form.Port().OnTrigger = nullptr;

    const capture::TRecordingReader Reader(DiskFile.toStdString());
    const uint64_t Bytes = Reader.TotalSamples() / 8;
    recording_test::TPrbs Prbs(Seed);
    uint64_t Wrong = 0;
    constexpr std::size_t Piece = 1 << 20;
    for (uint64_t At = 0; At < Bytes; At += Piece) {
        const auto Count = static_cast<std::size_t>(std::min<uint64_t>(Piece, Bytes - At));
        const std::vector<std::uint8_t> Read = Reader.ReadBytes(At, Count);
        for (std::size_t I = 0; I < Count; ++I)
            Wrong += Read[I] != Prbs.Byte(At + I);
    }
    const double Size = double(QFile(DiskFile).size());
    std::printf("CPU %.2f %% of a core; %llu bytes offered, %llu in the file, %llu not the PRBS's; "
                "file %.0f bytes, %+.2f %% over the bytes it holds\n",
                100.0 * Cpu / Seconds, static_cast<unsigned long long>(Offered),
                static_cast<unsigned long long>(Bytes), static_cast<unsigned long long>(Wrong),
                Size, 100.0 * (Size / double(Bytes) - 1));
}

const std::string DenseUart =
    "uart:25600:The quick brown fox jumps over the lazy dog 0123456789 ~!@#$%^&*()_+";

// The CPU seconds the decoder hosts started by this process have used, from /proc.
double HostCpuSeconds() {
    double Total = 0;
    for (const QString& Pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile Stat(QStringLiteral("/proc/%1/stat").arg(Pid));
        if (!Stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray Line = Stat.readAll();
        if (!Line.contains("(talvir-decode)"))
            continue;
        // After the name: state, parent, ... utime is the 14th field, stime the 15th.
        const QList<QByteArray> Fields = Line.mid(Line.lastIndexOf(')') + 2).split(' ');
        if (Fields.size() > 12 && Fields[1].toLongLong() == ::getpid())
            Total += double(Fields[11].toLongLong() + Fields[12].toLongLong()) /
                     double(::sysconf(_SC_CLK_TCK));
    }
    return Total;
}

bool ChooseUart(recorder::TMainForm& Form) {
    return recording_test::ChooseDecoder(
        Form, "uart", {{QStringLiteral("baudrate"), QStringLiteral("25600")},
                       {QStringLiteral("format"), QStringLiteral("ascii")}});
}

// A single sweep of 500,001 samples: from its last received byte to the picture that shows its
// annotations, in ms, and how many there were.
std::pair<double, std::size_t> DecodedSweepLatency() {
    devsim_test::SimulatorProcess Simulator({"--com", "1", "--source", DenseUart});
    recorder::TMainForm Form;
    uint64_t Offered = 0;
    controls::TSwitch* Switch = SetUp(Form, "4.8828125", Offered);
    Form.findChild<recorder::TRadioGroup*>(QStringLiteral("rgrpDeflectOptions"))->SetItemIndex(0);
    if (!ChooseUart(Form))
        return {-1, 0};
    QElapsedTimer Clock;
    Clock.start();
    qint64 LastByte = 0;
    Form.Port().OnTrigger = [&](serial::TSerialPort*, uint16_t Msg, uint16_t, uint16_t) {
        if (Msg == serial::cwmAvail)
            LastByte = Clock.elapsed();
    };
    auto* Chart = Form.findChild<chart::TChart*>(QStringLiteral("Chart"));
    qint64 Drawn = -1;
    std::size_t Annotations = 0;
    QObject Scope;
    QObject::connect(Chart, &chart::TChart::painted, &Scope, [&] {
        if (Drawn < 0 && !Chart->Strip().empty() && !Switch->StateOn()) {
            Drawn = Clock.elapsed();
            for (const chart::TStripRow& Row : Chart->Strip())
                Annotations += Row.Items.size();
        }
    });
    Start(Form, Switch, QString());
    if (!QTest::qWaitFor([&] { return Drawn >= 0; }, 60000))
        return {-1, 0};
    Form.Port().OnTrigger = nullptr;
    std::printf("sweep of %d samples\n", Form.SweepLength());
    return {double(Drawn - LastByte), Annotations};
}

// Periodic sweeps of the UART text for `Seconds`, with uart decoding them or without a decoder:
// the window's CPU and the host's, in % of a core.
std::pair<double, double> DecodingCpu(const char* Deflect, int Seconds, bool Decode) {
    devsim_test::SimulatorProcess Simulator({"--com", "1", "--source", DenseUart});
    recorder::TMainForm Form;
    uint64_t Offered = 0;
    controls::TSwitch* Switch = SetUp(Form, Deflect, Offered);
    // Periodic, whatever the last window kept.
    Form.findChild<recorder::TRadioGroup*>(QStringLiteral("rgrpDeflectOptions"))->SetItemIndex(1);
    if (Decode && !ChooseUart(Form))
        return {-1, -1};
    Start(Form, Switch, QString());
    RunFor(1000);
    const double Before = CpuSeconds();
    const double HostBefore = HostCpuSeconds();
    QElapsedTimer Wall;
    Wall.start();
    RunFor(Seconds * 1000);
    const double Elapsed = Wall.elapsed() / 1000.0;
    const double Window = 100.0 * (CpuSeconds() - Before) / Elapsed;
    const double Host = 100.0 * (HostCpuSeconds() - HostBefore) / Elapsed;
    QTest::mouseClick(Switch, Qt::LeftButton, {}, Switch->rect().center());
    Form.Port().OnTrigger = nullptr;
    return {Window, Host};
}

void MeasureDecoding(int Seconds, const char* Only) {
    for (int Run = 0; Run < (Only ? 0 : 3); ++Run) {
        const auto [Ms, Annotations] = DecodedSweepLatency();
        std::printf("last byte to the picture with its %zu annotations: %.0f ms\n", Annotations,
                    Ms);
        std::fflush(stdout);
    }
    std::printf("%-8s %16s %14s %22s\n", "N", "window CPU %", "host CPU %",
                "window without decoder");
    for (auto [N, Deflect] : {std::pair{"1025", "0.01"}, std::pair{"102401", "1"}}) {
        if (Only && std::strcmp(Only, N) != 0)
            continue;
        const auto [Window, Host] = DecodingCpu(Deflect, Seconds, true);
        const double Plain = DecodingCpu(Deflect, Seconds, false).first;
        std::printf("%-8s %16.2f %14.2f %22.2f\n", N, Window, Host, Plain);
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir Config;
    ::setenv("XDG_CONFIG_HOME", Config.path().toLocal8Bit().constData(), 1);
    if (!::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QDir().mkpath(Config.filePath(QStringLiteral("talvir")));
    QApplication App(argc, argv);
    // A box would stop the run: say what it said and close it. Watched as it is shown, since a
    // timer looking for it would wake the window thread and so count in the figure.
    TBoxCloser Boxes;
    App.installEventFilter(&Boxes);
    // The decoder host of this build, unless another is named.
    ::setenv("TALVIR_DECODE", TALVIR_DECODE_PROGRAM, 0);
    if (argc > 1 && std::strcmp(argv[1], "--decode") == 0) {
        MeasureDecoding(argc > 2 ? std::atoi(argv[2]) : 10, argc > 3 ? argv[3] : nullptr);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--disk") == 0) {
        RecordToDisk(argc > 2 ? std::atoi(argv[2]) : 120,
                     Config.filePath(QStringLiteral("disk.tlr")));
        return 0;
    }
    const int Seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const char* Only = argc > 2 ? argv[2] : nullptr;
    std::printf("%-8s %-10s %-5s %12s %14s %9s %10s\n", "N", "duration", "disk", "CPU % core",
                "bytes/s taken", "paints/s", "wake-ups/s");
    for (auto [N, Deflect] :
         {std::pair{"103", "0.001"}, std::pair{"1025", "0.01"}, std::pair{"102401", "1"}}) {
        if (Only && std::strcmp(Only, N) != 0)
            continue;
        for (const bool ToDisk : {false, true}) {
            // A file of its own: the dialog would ask before it replaced one.
            const QString File = Config.filePath(QStringLiteral("bench-%1.tlr").arg(N));
            const TRun Run = Record(Deflect, Seconds, ToDisk ? File : QString());
            std::printf("%-8s %-10s %-5s %12.2f %14.0f %9.1f %10.0f\n", N, Deflect,
                        ToDisk ? "yes" : "no", Run.CpuPercent, Run.BytesPerSecond,
                        Run.PaintsPerSecond, Run.WakeUpsPerSecond);
            std::fflush(stdout);
        }
    }
    return 0;
}
