// Saving and loading the trace through the real window: its file dialogs, its boxes, the file's
// bytes, and what the chart and the timing fields show afterwards.

#include "support/real_locale.h"
#include "support/recording_support.h"

#include "app/application.h"

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QtTest>

#include <fstream>
#include <memory>
#include <random>
#include <sstream>

using recording_test::TBoxCloser;

class MainFormFilesTest : public recording_test::TWindowTest {
    Q_OBJECT

private:
    chart::TChart* Chart = nullptr;
    chart::TChartSeries* Series = nullptr;
    controls::TSpinEdit* Period = nullptr;
    controls::TSpinEdit* Duration = nullptr;
    int DialogsShown = 0;

    static void Write(const QString& path, const std::string& bytes) {
        std::ofstream(path.toStdString(), std::ios::binary) << bytes;
    }
    void Run(const char* action, const char* dialogName, const QString& path) {
        DialogsShown += recording_test::TriggerWithFile(*Form, action, dialogName, path);
    }
    void Save(const QString& path) { Run("actSave", "SaveDialog", path); }
    void Load(const QString& path) { Run("actLoad", "OpenDialog", path); }

    std::vector<double> Times() const { return Series->XValues().Raw(); }
    std::vector<double> Levels() const { return Series->YValues().Raw(); }

    void OpenWindow() {
        ShowNewWindow();
        recording_test::TWindowParts parts(*Form);
        Chart = parts.Chart;
        Series = parts.Series;
        Period = parts.SamplePeriod;
        Duration = parts.DeflectTime;
        DialogsShown = 0;
    }

private slots:
    void init() {
        NewSettingsFolder();
        OpenWindow();
    }
    void cleanup() { Form.reset(); }

    void emptyTraceIsNotSaved() {
        TBoxCloser boxes;
        Save(Path("Data.txt"));
        QTRY_COMPARE(boxes.Texts(), QStringList{QStringLiteral("График не содержит данных")});
        QCOMPARE(DialogsShown, 0);
        QVERIFY(!QFile::exists(Path("Data.txt")));
    }

    void roundTripUnderEitherSeparator_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("start");
        QTest::newRow("point") << QLocale::c() << QStringLiteral("0 0\r\n0.0097656 1\r\n");
        QTest::newRow("comma") << QLocale(QLocale::Russian, QLocale::Russia)
                               << QStringLiteral("0 0\r\n0,0097656 1\r\n");
        // No byte holds the Arabic decimal separator U+066B: the file takes a point.
        QTest::newRow("arabic separator") << QLocale(QLocale::Pashto, QLocale::Afghanistan)
                                          << QStringLiteral("0 0\r\n0.0097656 1\r\n");
    }
    // Under the user's locale, in which the window starts.
    void roundTripUnderEitherSeparator() {
        QFETCH(QLocale, locale);
        QFETCH(QString, start);
        const test_support::TRealLocale real(locale);
        OpenWindow();
        std::mt19937 rng(5);
        std::vector<double> times, levels;
        for (int i = 0; i < 2000; ++i) {
            times.push_back(i * 0.0097656);
            levels.push_back(i < 2 ? i : rng() & 1);
            Series->AddPoint(times.back(), levels.back());
        }
        Save(Path("Data"));
        QCOMPARE(DialogsShown, 1);
        const std::string bytes =
            recording_test::FileBytes(Path("Data.txt")); // the default extension added
        QVERIFY(QString::fromStdString(bytes).startsWith(start));

        Series->ClearPoints();
        Load(Path("Data.txt"));
        QCOMPARE(Levels(), levels);
        const std::vector<double> read = Times();
        QCOMPARE(read.size(), times.size());
        for (std::size_t i = 0; i < read.size(); ++i)
            QVERIFY(std::fabs(read[i] - times[i]) < 1e-12);
        QCOMPARE(Chart->BottomAxis().Minimum(), 0.0);
        QCOMPARE(Chart->BottomAxis().Maximum(), read.back());
        const long double period = std::clamp(static_cast<long double>(read.back()) / 1999,
                                              Period->MinValue(), Period->MaxValue());
        QCOMPARE(Period->Text(), QString::number(static_cast<double>(period), 'f', 7)
                                     .replace(u'.', locale.decimalPoint()));
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    // Times from 5 to 10 ms, out of order, two of them equal: sorted with equal times in file
    // order; the axis from 0; the period over the count of points; the duration over the span.
    void loadedPointsSetTheAxisAndTheTimingFields() {
        Write(Path("late.txt"), "10 1\r\n5 0\r\n7.5 0\r\n7.5 1\r\n6.25 1\r\n8.75 0\r\n");
        Load(Path("late.txt"));
        QCOMPARE(Times(), (std::vector<double>{5, 6.25, 7.5, 7.5, 8.75, 10}));
        QCOMPARE(Levels(), (std::vector<double>{0, 1, 0, 1, 0, 1}));
        QCOMPARE(Chart->BottomAxis().Minimum(), 0.0);
        QCOMPARE(Chart->BottomAxis().Maximum(), 10.0);
        QCOMPARE(static_cast<double>(Period->Value()), 2.0); // 10 / (6 - 1)
        QCOMPARE(static_cast<double>(Duration->MaxValue()), 1000.0);
        QCOMPARE(static_cast<double>(Duration->Value()), 0.01);

        // An empty file: no points, the axis 0 .. 0, both fields at their lower limits.
        Write(Path("empty.txt"), "");
        Load(Path("empty.txt"));
        QCOMPARE(Series->Count(), 0);
        QCOMPARE(Chart->BottomAxis().Minimum(), 0.0);
        QCOMPARE(Chart->BottomAxis().Maximum(), 0.0);
        QCOMPARE(Period->Text(),
                 Period->locale().toString(static_cast<double>(Period->MinValue()), 'f', 7));
        QCOMPARE(Duration->Text(),
                 Duration->locale().toString(static_cast<double>(Duration->MinValue()), 'f', 3));
    }

    // A token that is no number, or a line that has not ended within the 1 MiB the reading holds
    // at once: the points before it stay, the axis and the period keep what they showed.
    void unreadableLineKeepsThePointsBeforeIt_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("error");
        QTest::newRow("bad number")
            << QStringLiteral("abc 1") << QStringLiteral("Invalid numeric input\n");
        QTest::newRow("long line") << QStringLiteral("2 1 ") + QString(2 << 20, QLatin1Char('x'))
                                   << QStringLiteral("Line too long\n");
        QTest::newRow("long bad number")
            << QStringLiteral("2") + QString(500000, QChar(0x0436)) + QStringLiteral(" 1")
            << QStringLiteral("Invalid numeric input\n");
    }
    void unreadableLineKeepsThePointsBeforeIt() {
        QFETCH(QString, line);
        QFETCH(QString, error);
        Chart->BottomAxis().SetRange(0, 40);
        const QString periodText = Period->Text();
        Write(Path("bad.txt"), "0 0\r\n1 1\r\n" + line.toStdString() + "\r\n3 0\r\n");
        {
            // The application's error report shows the file error in its box.
            TBoxCloser boxes;
            Load(Path("bad.txt"));
            QCOMPARE(boxes.Texts().size(), 1);
            QVERIFY(boxes.Texts()[0].startsWith(error));
            QVERIFY(boxes.Texts()[0].contains(QStringLiteral("line 3")));
            // A box the operator can read: the start of a long token, not all of it.
            QVERIFY2(boxes.Texts()[0].size() < 400, qPrintable(boxes.Texts()[0].left(400)));
        }
        QCOMPARE(Times(), (std::vector<double>{0, 1}));
        QCOMPARE(Chart->BottomAxis().Maximum(), 40.0);
        QCOMPARE(Period->Text(), periodText);
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    // Names of 250 bytes, which leave no room for a longer temporary name beside them, save in
    // every format the window writes, and nothing else is left in the folder.
    void longNamesSaveInEveryFormat() {
        for (int i = 0; i < 100; ++i)
            Series->AddPoint(i * 0.01, i % 2);
        const QString name = QString(123, QChar(0x0436)); // "ж", two bytes in UTF-8
        QCOMPARE(name.toUtf8().size() + 4, 250);
        const struct {
            const char* Action;
            const char* Dialog;
            const char* Extension;
        } saves[] = {{"actSave", "SaveDialog", ".txt"},
                     {"actExportVcd", "ExportVcdDialog", ".vcd"},
                     {"actExportCsv", "ExportCsvDialog", ".csv"},
                     {"actSaveImage", "SavePictureDialog", ".bmp"},
                     {"actSaveImage", "SavePictureDialog", ".png"},
                     {"actSaveImage", "SavePictureDialog", ".emf"},
                     {"actSaveImage", "SavePictureDialog", ".wmf"},
                     {"actSaveImage", "SavePictureDialog", ".svg"},
                     {"actSaveImage", "SavePictureDialog", ".pdf"}};
        const QDir folder(Path("long"));
        QVERIFY(folder.mkpath(QStringLiteral(".")));
        TBoxCloser boxes;
        for (const auto& save : saves) {
            const QString path = folder.filePath(name + QLatin1String(save.Extension));
            Run(save.Action, save.Dialog, path);
            QVERIFY2(QFileInfo(path).size() > 0, save.Extension);
        }
        QCOMPARE(boxes.Texts(), QStringList());
        QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden).size(), int(std::size(saves)));
    }

    // 500,000 points load without a word; a point more is reported and left out.
    void pointLimit() {
        std::string lines;
        for (int i = 0; i < 500000; ++i)
            lines += std::to_string(i) + " 1\r\n";
        Write(Path("exact.txt"), lines + "\r\n");
        Write(Path("more.txt"), lines + "500000 0\r\n");
        {
            TBoxCloser boxes;
            Load(Path("exact.txt"));
            QCOMPARE(Series->Count(), 500000);
            QTest::qWait(100);
            QCOMPARE(boxes.Texts(), QStringList{});
        }
        TBoxCloser boxes;
        Load(Path("more.txt"));
        QCOMPARE(Series->Count(), 500000);
        QCOMPARE(Times().back(), 499999.0);
        QCOMPARE(boxes.Texts(),
                 QStringList{QStringLiteral("Количество точек превысило допустимое")});
    }
};

int main(int argc, char* argv[]) {
    app::TApplication application(argc, argv);
    MainFormFilesTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "main_form_files_test.moc"
