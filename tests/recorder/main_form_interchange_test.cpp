// VCD and CSV through the window: what the exported files hold for the whole trace and for the
// markers' range, and what an imported file of another tool leaves in the chart.

#include "support/recording_support.h"

#include "app/application.h"

#include <QAction>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <fstream>
#include <memory>
#include <sstream>

using recording_test::TBoxCloser;

namespace {

// What sigrok-cli prints on standard output.
QByteArray Sigrok(const QStringList& args) {
    QProcess sigrok;
    sigrok.start(QStringLiteral("sigrok-cli"), args);
    if (!sigrok.waitForFinished(60000) || sigrok.exitCode() != 0)
        qWarning() << args << sigrok.readAllStandardError();
    return sigrok.readAllStandardOutput();
}

// The sample levels of sigrok-cli's CSV of one channel, the first sample first.
QList<QByteArray> SampleLevels(const QByteArray& csv) {
    QList<QByteArray> levels;
    for (const QByteArray& line : csv.split('\n'))
        if (line == "0" || line == "1")
            levels << line;
    return levels;
}

} // namespace

class MainFormInterchangeTest : public recording_test::TWindowTest {
    Q_OBJECT

private:
    chart::TChartSeries* Series = nullptr;

    // Runs the action; its dialog picks `path`, and a list of signals, if one opens, `signal`.
    void Run(const char* action, const char* dialogName, const QString& path,
             const QString& signal = {}) {
        // The signal list comes after the file dialog and the file's reading, however long they
        // take: looked for until it is there, or until the action is over.
        QTimer chooser;
        QObject::connect(&chooser, &QTimer::timeout, [&chooser, signal] {
            if (auto* list = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
                chooser.stop();
                list->setTextValue(signal);
                list->accept();
            }
        });
        chooser.start(20);
        recording_test::TriggerWithFile(*Form, action, dialogName, path);
    }

private slots:
    void init() {
        NewSettingsFolder();
        ShowNewWindow();
        recording_test::TWindowParts parts(*Form);
        Series = parts.Series;
        // A quarter of a millisecond a pixel, so clicks land on exact times.
        parts.Chart->RedrawNow();
        parts.Chart->BottomAxis().SetMaximum(parts.Chart->BottomAxis().AxisLength() / 4.0);
        parts.Chart->RedrawNow();
        // Ten samples 0.5 ms apart: 0 0 1 1 1 0 0 1 0 0.
        const double levels[] = {0, 0, 1, 1, 1, 0, 0, 1, 0, 0};
        for (int i = 0; i < 10; ++i)
            Series->AddPoint(i * 0.5, levels[i]);
    }
    void cleanup() { Form.reset(); }

    void exportsTheMarkersRange() {
        // Markers shown at 1 and 3 ms: the points from 1 to 3 ms only.
        Form->findChild<QAction*>(QStringLiteral("actViewMarkers"))->trigger();
        auto* chart = recording_test::TWindowParts(*Form).Chart;
        for (auto [marker, ms] :
             {std::pair{"actSetMarker1", 3.0}, std::pair{"actSetMarker2", 1.0}}) {
            Form->findChild<QAction*>(QString::fromLatin1(marker))->setChecked(true);
            const QPoint p(Series->ValueToPixelX(ms), chart->PlotRect().center().y());
            QCursor::setPos(chart->mapToGlobal(p));
            QTest::mouseClick(chart, Qt::LeftButton, {}, p);
        }
        QVERIFY2(chart->Title().Text().value(0).startsWith(QStringLiteral("t1=3 мс   t2=1 мс")),
                 qPrintable(chart->Title().Text().value(0)));
        // The dialog adds the extension.
        Run("actExportCsv", "ExportCsvDialog", Path("range"));
        QCOMPARE(recording_test::FileBytes(Path("range.csv")),
                 std::string("time_ms,level\n1,1\n1.5,1\n2,1\n2.5,0\n3,0\n"));

        Run("actExportVcd", "ExportVcdDialog", Path("range.vcd"));
        const std::string vcd = recording_test::FileBytes(Path("range.vcd"));
        QVERIFY(vcd.find("$timescale 1 ps $end") != std::string::npos);
        QVERIFY(vcd.find("$scope module talvir $end\n$var wire 1 ! signal $end") !=
                std::string::npos);
        QVERIFY(vcd.find("#1000000000\n$dumpvars\n1!\n$end\n#2500000000\n0!\n") !=
                std::string::npos);
        // The program's version as the build has it.
        QVERIFY(vcd.find("$version\n  Тальвир " TALVIR_VERSION "\n$end\n") != std::string::npos);
    }

    // A sigrok file at 5 µs a sample, a step finer than the device's: exported again, the file
    // names that step, and sigrok-cli reads back every sample it wrote and no more.
    void reexportsAnImportedFileAtItsOwnStep() {
        if (QStandardPaths::findExecutable(QStringLiteral("sigrok-cli")).isEmpty())
            QSKIP("sigrok-cli is not installed (tools/install-deps.sh installs it)");
        Sigrok({"-d", "demo", "--channels", "D0", "--config", "samplerate=200k", "--samples",
                "10000", "-O", "vcd", "-o", Path("sigrok.vcd")});
        // Its timescale is 1 µs: five units a sample.
        const QList<QByteArray> theirs =
            SampleLevels(Sigrok({"-I", "vcd:downsample=5", "-i", Path("sigrok.vcd"), "-O", "csv"}));
        QCOMPARE(theirs.size(), 10000);

        Run("actImportVcd", "ImportVcdDialog", Path("sigrok.vcd"));
        QCOMPARE(Series->Count(), 10000);
        Run("actExportVcd", "ExportVcdDialog", Path("again.vcd"));
        const std::string vcd = recording_test::FileBytes(Path("again.vcd"));
        QVERIFY2(vcd.find("talvir sample period 0.005 ms;") != std::string::npos,
                 vcd.substr(vcd.find("talvir"), 40).c_str());
        QVERIFY2(vcd.ends_with("\n#50000000000\n"), vcd.substr(vcd.size() - 40).c_str());
        // Read as the comment says.
        const QRegularExpressionMatch downsample =
            QRegularExpression(QStringLiteral("\\((sigrok-cli -I vcd:downsample=\\d+)\\)"))
                .match(QString::fromStdString(vcd));
        QCOMPARE(downsample.captured(1), QStringLiteral("sigrok-cli -I vcd:downsample=5000000"));
        QCOMPARE(SampleLevels(Sigrok(downsample.captured(1).split(u' ').mid(1) +
                                     QStringList{"-i", Path("again.vcd"), "-O", "csv"})),
                 theirs);
    }

    // Two 1-bit signals: the list offers both, and the chart shows the one the operator picks.
    void importsTheChosenSignal() {
        std::ofstream(Path("two.vcd").toStdString())
            << "$timescale 1 ns $end\n$scope module top $end\n$var wire 1 ! a $end\n"
               "$var wire 1 \" b $end\n$upscope $end\n$enddefinitions $end\n"
               "#0\n0!\n1\"\n#4\n1!\n0\"\n#8\n";
        Run("actImportVcd", "ImportVcdDialog", Path("two.vcd"), QStringLiteral("top.b"));
        QCOMPARE(Series->YValues().Raw(), (std::vector<double>{1, 0}));
        QCOMPARE(Series->XValues().Raw(), (std::vector<double>{0, 4e-6}));
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void malformedFileNamesTheLineAndKeepsTheTrace() {
        std::ofstream(Path("bad.vcd").toStdString())
            << "$timescale 1 ns $end\n$var wire 1 ! a $end\n$enddefinitions $end\n#5\n1!\n#3\n";
        {
            TBoxCloser boxes;
            Run("actImportVcd", "ImportVcdDialog", Path("bad.vcd"));
            QCOMPARE(boxes.Texts().size(), 1);
            QVERIFY2(boxes.Texts()[0].contains(QStringLiteral("line 6")),
                     qPrintable(boxes.Texts()[0]));
        }
        QCOMPARE(Series->Count(), 10);
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }
};

int main(int argc, char* argv[]) {
    app::TApplication application(argc, argv);
    MainFormInterchangeTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "main_form_interchange_test.moc"
