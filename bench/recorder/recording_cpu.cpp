// The window's CPU time while it records talvir-devsim at the shortest sample period, for three
// sweep lengths: about 900 sweeps a second (N = 103), 90 (N = 1025) and one (N = 102401). The
// simulator sends what a 115200-baud line carries, about 23 bytes every 2 ms. The figure is the
// process's user and system time over a span of wall time, all threads included; the bytes the
// data handler was offered show that the stream was taken in full meanwhile, the wake-ups how
// often its threads slept and were woken.
//
//   bench_recording_cpu [SECONDS [N]]    (default 10 s a sweep length, all three; build it
//                                         optimised; N = 103, 1025 or 102401 runs that one only)

#include "chart/chart.h"
#include "controls/spin_edit.h"
#include "controls/switch.h"
#include "recorder/main_form.h"
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

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/resource.h>

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

TRun Record(const char* DeflectSeconds, int Seconds) {
    devsim_test::SimulatorProcess Simulator({"--com", "1", "--source", "square:1000"});
    recorder::TMainForm Form;
    Form.show();
    auto* Period = Form.findChild<controls::TSpinEdit*>(QStringLiteral("spedSamplePeriod"));
    auto* Deflect = Form.findChild<controls::TSpinEdit*>(QStringLiteral("spedDeflectTime"));
    auto* Switch = Form.findChild<controls::TSwitch*>(QStringLiteral("swchStart"));
    for (auto [Edit, Text] : {std::pair{Period, "0.0097656"}, std::pair{Deflect, DeflectSeconds}}) {
        QLineEdit* Editor = Edit->Editor();
        Editor->setFocus(Qt::MouseFocusReason);
        Editor->selectAll();
        QTest::keyClick(Editor, Qt::Key_Delete);
        QTest::keyClicks(Editor, QString::fromLatin1(Text).replace(u'.', QLocale().decimalPoint()));
        QTest::keyClick(Editor, Qt::Key_Tab);
    }
    uint64_t Offered = 0;
    Form.Port().OnTrigger = [&](serial::TSerialPort*, uint16_t Msg, uint16_t, uint16_t Data) {
        if (Msg == serial::cwmAvail)
            Offered += Data;
    };
    int Paints = 0;
    auto* Chart = Form.findChild<chart::TChart*>(QStringLiteral("Chart"));
    QObject::connect(Chart, &chart::TChart::painted, [&] { ++Paints; });
    QTest::mouseClick(Switch, Qt::LeftButton, {}, Switch->rect().center());
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
    const int Seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const char* Only = argc > 2 ? argv[2] : nullptr;
    std::printf("%-8s %-10s %12s %14s %9s %10s\n", "N", "duration", "CPU % core", "bytes/s taken",
                "paints/s", "wake-ups/s");
    for (auto [N, Deflect] :
         {std::pair{"103", "0.001"}, std::pair{"1025", "0.01"}, std::pair{"102401", "1"}}) {
        if (Only && std::strcmp(Only, N) != 0)
            continue;
        const TRun Run = Record(Deflect, Seconds);
        std::printf("%-8s %-10s %12.2f %14.0f %9.1f %10.0f\n", N, Deflect, Run.CpuPercent,
                    Run.BytesPerSecond, Run.PaintsPerSecond, Run.WakeUpsPerSecond);
        std::fflush(stdout);
    }
    return 0;
}
