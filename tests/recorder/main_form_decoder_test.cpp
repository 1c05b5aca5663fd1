// The "Декодер" panel on real decodings: a trace loaded from a file, a single sweep from the
// simulator, a recording's view and the whole of it, each read by the library's decoders through
// the decoder host; the annotations under the trace, in the table, on the clipboard, in the CSV
// export and in a picture; a decoder that fails said so once, the trace kept.

#include "chart/annotation_strip.h"
#include "support/recording_support.h"
#include "support/simulator_process.h"

#include "devsim/options.h"
#include "devsim/recording_maker.h"
#include "devsim/sources.h"
#include "recorder/radio_group.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include <cstdlib>
#include <fstream>

using recording_test::TWindowParts;

namespace {

const QString Text = QStringLiteral("Hello, 1-bit!");

// The characters a UART's row of the strip shows, in time order: its one-character texts, which
// leaves out the start and stop bits of the same row.
QString RowText(const chart::TChart& chart, const QString& name = QStringLiteral("uart: RX")) {
    QString text;
    for (const chart::TStripRow& row : chart.Strip())
        if (row.Name == name)
            for (const chart::TStripItem& item : row.Items)
                if (item.Texts.value(0).size() == 1)
                    text += item.Texts.value(0);
    return text;
}

} // namespace

class DecoderTest : public recording_test::TWindowTest {
    Q_OBJECT

private:
    chart::TChart* Chart() const { return Find<chart::TChart>("Chart"); }
    QLabel* Status() const { return Find<QLabel>("DecoderStatus"); }

    void Choose(const char* id, const std::vector<std::pair<QString, QString>>& options) {
        QVERIFY(recording_test::ChooseDecoder(*Form, id, options));
        QVERIFY(Find<QDockWidget>("DecoderDock")->isVisible());
    }
    void SetOption(const QString& option, const QString& value) {
        auto* edit = Form->findChild<QLineEdit*>(QStringLiteral("edDecoderOption_0_") + option);
        QVERIFY(edit);
        edit->setText(value);
        edit->setModified(true);
        emit edit->editingFinished();
    }

    // A data file of the simulator's UART text at 9600 baud, sampled at 102,400 Hz.
    void LoadUart(double seconds) {
        const devsim::SignalFactory factory(devsim::ParseSource("uart:9600:Hello, 1-bit!"));
        const auto stream = factory.Start(devsim::Command{false, 16});
        const QString path = Path("uart.txt");
        std::ofstream file(path.toStdString(), std::ios::binary);
        const double period = 1000.0 / 102400;
        for (int byte = 0; byte < int(seconds * 102400 / 8); ++byte) {
            const std::uint8_t bits = stream->NextByte();
            for (int b = 0; b < 8; ++b)
                file << (byte * 8 + b) * period << ' ' << ((bits >> (7 - b)) & 1) << "\r\n";
        }
        file.close();
        QVERIFY(recording_test::TriggerWithFile(*Form, "actLoad", "OpenDialog", path));
    }

    void WaitForAnnotations() {
        QTRY_VERIFY_WITH_TIMEOUT(Status()->text().startsWith(QStringLiteral("Аннотаций")) ||
                                     Status()->text().startsWith(QStringLiteral("Ошибка")),
                                 30000);
    }

private slots:
    void init() {
        NewSettingsFolder();
        QLocale::setDefault(QLocale::c());
        setenv("TALVIR_DECODE", TALVIR_DECODE_PROGRAM, 1);
        ShowNewWindow();
    }
    void cleanup() { Form.reset(); }

    // Without a decoder the chart has no strip; with uart the text is read back under the trace,
    // in the table and in the CSV export, and its rows are in a saved picture.
    void loadedTraceIsDecoded() {
        LoadUart(0.05);
        QVERIFY(!Find<QDockWidget>("DecoderDock")->isVisible());
        QVERIFY(Chart()->Strip().empty());
        Choose("uart", {{QStringLiteral("baudrate"), QStringLiteral("9600")},
                       {QStringLiteral("format"), QStringLiteral("ascii")}});
        WaitForAnnotations();
        QTRY_VERIFY2(RowText(*Chart()).startsWith(Text + Text),
                     qPrintable(Status()->text() + u'|' + RowText(*Chart())));
        // The trace keeps its place above the rows.
        QTRY_VERIFY(!Chart()->StripRect().isEmpty() &&
                    Chart()->StripRect().top() > Chart()->PlotRect().bottom() - 1);

        // Choosing a line of the table brings its annotation to the chart's middle: the last "H".
        auto* table = Find<QTableView>("DecoderTable");
        int last = -1;
        for (int r = 0; r < table->model()->rowCount(); ++r)
            if (table->model()->index(r, 2).data().toString() == QStringLiteral("H"))
                last = r;
        QVERIFY(last > 0);
        const double time = table->model()->index(last, 0).data().toString().toDouble();
        QVERIFY(time > 30);
        table->selectRow(last);
        const chart::TChartAxis& axis = Chart()->BottomAxis();
        const double middle = (axis.Minimum() + axis.Maximum()) / 2;
        // A frame at 9600 baud lasts about 1.04 ms; its annotation is its eight data bits.
        QVERIFY2(middle > time && middle < time + 1.1,
                 qPrintable(QStringLiteral("%1 %2").arg(middle).arg(time)));

        // "Копировать": the line chosen, then with none chosen all of them.
        Find<QPushButton>("btnCopyAnnotations")->click();
        QCOMPARE(QApplication::clipboard()->text().section(u'\n', 1),
                 table->model()->index(last, 0).data().toString() +
                     QStringLiteral("\tuart: RX\tH\n"));
        table->clearSelection();
        QApplication::clipboard()->clear();
        Find<QPushButton>("btnCopyAnnotations")->click();
        QString copied;
        for (const QString& line : QApplication::clipboard()->text().split(u'\n'))
            if (line.section(u'\t', 1, 1) == QStringLiteral("uart: RX") &&
                line.section(u'\t', 2).size() == 1)
                copied += line.section(u'\t', 2);
        QVERIFY2(copied.startsWith(Text + Text), qPrintable(copied));

        const QString csv = Path("annotations.csv");
        QVERIFY(recording_test::WithFile(*Form, "ExportAnnotationsDialog", csv, [&] {
            Find<QPushButton>("btnExportAnnotations")->click();
        }));
        const QString written = QString::fromStdString(recording_test::FileBytes(csv));
        QVERIFY(written.startsWith(QStringLiteral("start_ms,end_ms,decoder,row,text\n")));
        QString fromFile;
        for (const QString& line : written.split(u'\n'))
            if (line.contains(QStringLiteral(",uart,rx-data,"))) {
                // The text after the fourth comma, a comma of its own quoted.
                const QString text = line.section(u',', 4);
                const QString character = text == QStringLiteral("\",\"") ? QStringLiteral(",") : text;
                if (character.size() == 1)
                    fromFile += character;
            }
        QVERIFY2(fromFile.startsWith(Text + Text), qPrintable(fromFile));

        const QString svg = Path("chart.svg");
        QVERIFY(recording_test::TriggerWithFile(*Form, "actSaveImage", "SavePictureDialog", svg));
        QVERIFY(recording_test::FileBytes(svg).find("uart: RX") != std::string::npos);
    }

    // A decoder that raises is one line in the panel, no box; the next choice decodes again.
    void failingDecoderIsToldAndTheTraceStays() {
        LoadUart(0.03);
        const std::size_t points = TWindowParts(*Form).Series->Count();
        recording_test::TBoxCloser boxes;
        Choose("uart", {{QStringLiteral("format"), QStringLiteral("ascii")},
                       {QStringLiteral("baudrate"), QStringLiteral("0")}});
        QTRY_VERIFY_WITH_TIMEOUT(Status()->text().startsWith(QStringLiteral("Ошибка декодера")),
                                 30000);
        QVERIFY(Chart()->Strip().empty());
        QCOMPARE(TWindowParts(*Form).Series->Count(), points);
        QVERIFY(boxes.Texts().isEmpty());
        SetOption(QStringLiteral("baudrate"), QStringLiteral("9600"));
        QTRY_VERIFY_WITH_TIMEOUT(RowText(*Chart()).startsWith(Text),
                                 30000);
    }

    // A single sweep from the device, through the serial stack, is decoded once it is shown.
    void singleSweepIsDecoded() {
        const std::string log = Path("devsim.log").toStdString();
        devsim_test::SimulatorProcess simulator(
            {"--source", "uart:9600:Hello, 1-bit!", "--com", "1", "--log", log});
        TWindowParts parts(*Form);
        recording_test::Confirm(parts.SamplePeriod, QStringLiteral("0.01"));
        recording_test::Confirm(parts.DeflectTime, QStringLiteral("0.05"));
        static_cast<recorder::TRadioGroup*>(parts.DeflectOptions)->SetItemIndex(0);
        Choose("uart", {{QStringLiteral("baudrate"), QStringLiteral("9600")},
                       {QStringLiteral("format"), QStringLiteral("ascii")}});
        recording_test::ClickSwitch(parts.Switch);
        QTRY_VERIFY2_WITH_TIMEOUT(RowText(*Chart()).contains(Text),
                                  qPrintable(Status()->text() + u'|' + RowText(*Chart())), 30000);
    }

    // A recording's view is decoded as it is shown; the whole recording on request, with more.
    void recordingViewAndWholeRecording() {
        const std::string path = Path("uart.tlr").toStdString();
        devsim::MakeRecording(devsim::SignalFactory(devsim::ParseSource("uart:9600:Hello, 1-bit!")),
                              devsim::OfflineRecording{path, 16, 3}, 1'796'000'000'000'000,
                              "decoder test");
        Choose("uart", {{QStringLiteral("baudrate"), QStringLiteral("9600")},
                       {QStringLiteral("format"), QStringLiteral("ascii")}});
        QVERIFY(recording_test::TriggerWithFile(*Form, "actOpenRecording", "OpenRecordingDialog",
                                                QString::fromStdString(path)));
        // 50 ms in view: a few repetitions of the text.
        Chart()->BottomAxis().SetRange(1000, 1050);
        Chart()->RedrawNow();
        // The view's decoding: from a quarter of the view's width before it on.
        const auto firstShown = [&] {
            return Chart()->Strip().empty() || Chart()->Strip().front().Items.empty()
                       ? 0.0
                       : Chart()->Strip().front().Items.front().Start;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(RowText(*Chart()).contains(Text + Text) && firstShown() >= 987,
                                  qPrintable(Status()->text() + u'|' + RowText(*Chart())), 30000);
        const qsizetype inView = RowText(*Chart()).size();

        auto* whole = Find<QPushButton>("btnDecodeWholeRecording");
        QVERIFY(whole->isVisible());
        whole->click();
        QTRY_VERIFY_WITH_TIMEOUT(Status()->text().startsWith(QStringLiteral("По всей записи")),
                                 60000);
        const QString all = RowText(*Chart());
        // Three seconds at 9600 baud: over 2000 characters, the text from the first sample on.
        QVERIFY2(all.size() > 2000 && all.size() > 10 * inView, qPrintable(QString::number(all.size())));
        QVERIFY(all.startsWith(Text + Text));
    }
};

QTEST_MAIN(DecoderTest)
#include "main_form_decoder_test.moc"
