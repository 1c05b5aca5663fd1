// A recording file through the real window: "Открыть запись…" shows all of it, a zoom to a sweep's
// length or less shows the samples themselves, damaged blocks are reported once with their times,
// and a data file loaded afterwards is shown as it is.

#include "support/recording_support.h"

#include "capture/reader.h"
#include "convert/range.h"
#include "devsim/options.h"
#include "devsim/recording_maker.h"
#include "devsim/sources.h"

#include "measure/export_range.h"
#include "measure/pulse_statistics.h"
#include "measure/recording_statistics.h"
#include "recorder/statistics_panel.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QtTest>

#include <fstream>
#include <sstream>

using recording_test::TBoxCloser;

class MainFormRecordingViewTest : public recording_test::TWindowTest {
    Q_OBJECT

private:
    chart::TChart* Chart = nullptr;
    chart::TChartSeries* Series = nullptr;

    // `seconds` of a 1 kHz square wave with a 30 µs pulse each second, a block a second. At the
    // shortest period ten seconds are ten blocks of 102,400 samples, twice a sweep's length.
    std::string MakeRecording(const char* name, unsigned divider = 16, double seconds = 10) const {
        const std::string path = Path(name).toStdString();
        devsim::MakeRecording(devsim::SignalFactory(devsim::ParseSource("glitch:1000:30")),
                              devsim::OfflineRecording{path, divider, seconds},
                              1'796'000'000'000'000, "window test");
        return path;
    }

    // The file with one byte in the middle of block `block` changed, and without its index when
    // `dropIndex`, as a kill leaves it, so that opening finds the damage by scanning.
    static void Damage(const std::string& path, std::size_t block, bool dropIndex) {
        std::uint64_t offset = 0, indexOffset = 0;
        {
            const capture::TRecordingReader reader(path);
            offset = reader.Blocks()[block].Offset + capture::kBlockHeaderSize + 1;
            indexOffset = reader.Blocks().back().Offset + capture::kBlockHeaderSize +
                          reader.Blocks().back().SampleCount / 8;
        }
        std::string content = recording_test::FileBytes(QString::fromStdString(path));
        content[offset] = static_cast<char>(content[offset] ^ 0x40);
        if (dropIndex)
            content.resize(indexOffset);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    }

    bool Open(const std::string& path) {
        const bool shown = recording_test::TriggerWithFile(
            *Form, "actOpenRecording", "OpenRecordingDialog", QString::fromStdString(path));
        Chart->RedrawNow();
        return shown;
    }

    // The time axis to [fromMs, toMs], as the chart's zoom sets it, and painted.
    void ShowRange(double fromMs, double toMs) {
        Chart->BottomAxis().SetRange(fromMs, toMs);
        Chart->RedrawNow();
    }

    double PeriodMs() const { return 108.0 / 11059.2; }

private slots:
    void init() {
        NewSettingsFolder();
        ShowNewWindow();
        recording_test::TWindowParts parts(*Form);
        Chart = parts.Chart;
        Series = parts.Series;
    }
    void cleanup() { Form.reset(); }

    void wholeRecordingThenItsSamples() {
        const std::string path = MakeRecording("square.tlr");
        QVERIFY(Open(path));
        const double span = (1'024'000 - 1) * PeriodMs();
        QCOMPARE(Chart->BottomAxis().Minimum(), 0.0);
        QCOMPARE(Chart->BottomAxis().Maximum(), span);
        // The whole span, a few points a pixel column, each column showing both levels.
        const std::vector<double>& xs = Series->XValues().Raw();
        const std::vector<double>& ys = Series->YValues().Raw();
        const int columns = Chart->PlotRect().width() + 1;
        QVERIFY(xs.size() >= static_cast<std::size_t>(2 * columns));
        QVERIFY(xs.size() <= static_cast<std::size_t>(4 * columns + 8));
        QCOMPARE(xs.front(), 0.0);
        QCOMPARE(xs.back(), span);
        QCOMPARE(std::count(ys.begin(), ys.end(), 0.5), 0);

        // 300,000 samples from the middle of block 2 into block 5.
        const capture::TRecordingReader reader(path);
        ShowRange(250'000 * PeriodMs(), 550'000 * PeriodMs());
        // The samples from the axis's start to its end, and the one before them.
        const std::size_t count = Series->Count();
        QVERIFY2(count >= 300'001 && count <= 300'003, qPrintable(QString::number(count)));
        const auto first = static_cast<std::uint64_t>(std::llround(xs.front() / PeriodMs()));
        const std::vector<std::uint8_t> levels = reader.ReadLevels(first, count);
        for (std::size_t i = 0; i < count; ++i) {
            QCOMPARE(xs[i], static_cast<double>(first + i) * PeriodMs());
            QCOMPARE(ys[i], static_cast<double>(levels[i]));
        }

        // Down to a few samples: still the samples, with the one before the plot's.
        ShowRange(400'000 * PeriodMs(), 400'003 * PeriodMs());
        QCOMPARE(Series->Count(), 5);
        QCOMPARE(xs.front(), 399'999 * PeriodMs());
    }

    // The panel's figures follow the samples in view as the view moves.
    void statisticsCoverTheSamplesInView() {
        const std::string path = MakeRecording("square.tlr");
        QVERIFY(Open(path));
        Action("actViewStatistics")->trigger();
        const capture::TRecordingReader reader(path);
        for (const std::uint64_t start : {250'000ull, 700'123ull}) {
            ShowRange(start * PeriodMs(), (start + 300'000) * PeriodMs());
            const std::vector<double>& xs = Series->XValues().Raw();
            const auto first = static_cast<std::uint64_t>(std::llround(xs.front() / PeriodMs()));
            const std::vector<std::uint8_t> levels = reader.ReadLevels(first, xs.size());
            std::vector<double> times, values;
            for (std::size_t i = 0; i < levels.size(); ++i) {
                times.push_back(static_cast<double>(first + i) * PeriodMs());
                values.push_back(levels[i]);
            }
            const auto [from, to] = measure::ExportRange(times, false, 0, 0);
            const QString expected = recorder::StatisticsText(
                recorder::StatisticsRows(measure::PulseStatistics(times, values, from, to)));
            Form->findChild<QPushButton*>(QStringLiteral("btnCopyStatistics"))->click();
            QTRY_COMPARE(QApplication::clipboard()->text(), expected);
        }
    }

    // Columns are no samples: with more than a sweep's length in view the panel gives no figures
    // until the operator has the whole recording counted, and those stand while columns show.
    void statisticsOfTheWholeRecordingOnRequest() {
        const std::string path = MakeRecording("square.tlr");
        QVERIFY(Open(path));
        Action("actViewStatistics")->trigger();
        auto* copy = Form->findChild<QPushButton*>(QStringLiteral("btnCopyStatistics"));
        auto* whole = Form->findChild<QPushButton*>(QStringLiteral("btnWholeRecordingStatistics"));
        QTRY_VERIFY(whole->isVisible());
        copy->click();
        const QString none = QApplication::clipboard()->text();
        QVERIFY2(none.startsWith(QStringLiteral("На экране больше 500 001 отсчёта")),
                 qPrintable(none));
        QVERIFY(!none.contains(QStringLiteral("Фронты")));

        whole->click();
        const QString expected =
            QStringLiteral("По всей записи\n") +
            recorder::StatisticsText(recorder::StatisticsRows(
                *measure::RecordingPulseStatistics(capture::TRecordingReader(path))));
        copy->click();
        QCOMPARE(QApplication::clipboard()->text(), expected);
        QVERIFY2(expected.contains(QStringLiteral("Фронты\t10009\n")), qPrintable(expected));
        ShowRange(100, 9'000);
        copy->click();
        QCOMPARE(QApplication::clipboard()->text(), expected);
        // A data file has no whole recording to count.
        const QString data = Path("Data.txt");
        std::ofstream(data.toStdString(), std::ios::binary) << "0 0\r\n1 1\r\n2 0\r\n";
        QVERIFY(recording_test::TriggerWithFile(*Form, "actLoad", "OpenDialog", data));
        QTRY_VERIFY(!whole->isVisible());
    }

    // The exports write the recording's samples from the axis's start to its end, not the
    // columns drawn: 6 s, 614,401 samples, as talvir-convert writes them.
    void exportsWriteTheSamplesOfTheView_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("name");
        QTest::newRow("CSV") << "actExportCsv" << "ExportCsvDialog" << "part.csv";
        QTest::newRow("data file") << "actSave" << "SaveDialog" << "part.txt";
    }
    void exportsWriteTheSamplesOfTheView() {
        QFETCH(QString, action);
        QFETCH(QString, dialog);
        QFETCH(QString, name);
        const QString part = Path(name.toUtf8().constData());
        const std::string path = MakeRecording("square.tlr");
        QVERIFY(Open(path));
        ShowRange(1'000, 7'000);
        QVERIFY(Series->Count() < 5'000);
        QVERIFY(recording_test::TriggerWithFile(*Form, action.toUtf8().constData(),
                                                dialog.toUtf8().constData(), part));

        const capture::TRecordingReader reader(path);
        const auto range = convert::ChooseRange(reader, 1'000.0, 7'000.0).Range;
        QCOMPARE(range->Count(), 614'401u);
        const std::string expected = Path("expected").toStdString();
        QVERIFY(convert::WriteRange(reader, *range, expected,
                                    *convert::FormatForName(name.toStdString())));
        QVERIFY(recording_test::FileBytes(part) ==
                recording_test::FileBytes(QString::fromStdString(expected)));
    }

    void damagedBlocksAreReportedOnceWithTheirTimes_data() {
        QTest::addColumn<bool>("dropIndex");
        QTest::newRow("found by the scan on opening") << true;
        QTest::newRow("found when its samples are drawn") << false;
    }
    void damagedBlocksAreReportedOnceWithTheirTimes() {
        QFETCH(bool, dropIndex);
        // 2000 blocks of 400 samples (a period of 2.5 ms): a pixel column of the whole view spans
        // several blocks and needs no block's bytes whole, only the samples at its borders, so a
        // damage the index does not show is found only when the view comes close.
        const std::string path = MakeRecording("damaged.tlr", 4606, 2000);
        double seconds = 0;
        {
            const capture::TRecordingReader reader(path);
            seconds = reader.Blocks()[1500].FirstSample * reader.Header().SamplePeriodSeconds();
        }
        Damage(path, 1500, dropIndex);
        TBoxCloser boxes;
        QVERIFY(Open(path));
        QTest::qWait(50);
        QCOMPARE(boxes.Texts().size(), dropIndex ? 1 : 0);
        // Drawn sample by sample, the block has no level.
        ShowRange(seconds * 1000 - 2000, seconds * 1000 + 2000);
        ShowRange(seconds * 1000 - 3000, seconds * 1000 + 3000);
        const std::vector<double>& ys = Series->YValues().Raw();
        QVERIFY(std::count(ys.begin(), ys.end(), 0.5) > 0);
        QTRY_COMPARE(boxes.Texts().size(), 1);
        QVERIFY2(boxes.Texts().front().contains(QLocale().toString(seconds, 'f', 3) + " с"),
                 qPrintable(boxes.Texts().front()));
        QTest::qWait(100);
        QCOMPARE(boxes.Texts().size(), 1);
    }

    // Ctrl+O, which no other action of the window takes; the dialog offers recordings and opens
    // where the last one was chosen.
    void openingHasItsKeyAndRemembersTheFolder() {
        QAction* open = Action("actOpenRecording");
        QCOMPARE(open->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
        for (const QAction* other : Form->findChildren<QAction*>())
            if (other != open)
                QVERIFY2(other->shortcut() != open->shortcut(), qPrintable(other->objectName()));
        QVERIFY(QDir(Path("")).mkpath("day"));
        QVERIFY(Open(MakeRecording("day/square.tlr")));
        auto* dialog = Find<QFileDialog>("OpenRecordingDialog");
        QCOMPARE(dialog->directory().absolutePath(), QDir(Path("day")).absolutePath());
        QVERIFY(dialog->nameFilters().join(' ').contains("*.tlr"));
    }

    void loadedDataFileEndsTheRecordingView() {
        QVERIFY(Open(MakeRecording("square.tlr")));
        const QString data = Path("Data.txt");
        std::ofstream(data.toStdString(), std::ios::binary) << "0 0\r\n1 1\r\n2 0\r\n";
        QVERIFY(recording_test::TriggerWithFile(*Form, "actLoad", "OpenDialog", data));
        ShowRange(0, 2);
        QCOMPARE(Series->XValues().Raw(), (std::vector<double>{0, 1, 2}));
        QCOMPARE(Series->YValues().Raw(), (std::vector<double>{0, 1, 0}));
    }
};

QTEST_MAIN(MainFormRecordingViewTest)
#include "main_form_recording_view_test.moc"
