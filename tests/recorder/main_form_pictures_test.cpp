// The chart as a picture through the real window: the save dialog, the printer set-up dialog and
// the clipboard, with the results read back by independent programs (ImageMagick, LibreOffice,
// poppler, xclip) and compared with what the window shows.

#include "support/recording_support.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <cstring>

namespace {

bool Red(QColor c) {
    return c.red() > 180 && c.green() < 110 && c.blue() < 110;
}
bool Green(QColor c) {
    return c.green() > 90 && c.red() < 110 && c.blue() < 110 && c.green() > c.red() + 40;
}
bool Grey(QColor c) {
    return c.red() > 60 && c.red() < 215 && std::abs(c.red() - c.green()) < 25 &&
           std::abs(c.green() - c.blue()) < 25;
}
bool Ink(QColor c) {
    return c.lightness() < 235;
}

// The coarse features of a picture of the chart, in fractions of the extent of its ink, so that a
// rendering at another scale compares with the window's image.
struct TFeatures {
    QList<double> MarkerColumns, GridColumns;
    double TraceHigh = -1, TraceLow = -1;
    int MarkerDashes = 0;
};

TFeatures Features(const QImage& image) {
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (Ink(image.pixelColor(x, y)))
                ink |= QRect(x, y, 1, 1);
    TFeatures f;
    const auto fx = [&](int x) { return double(x - ink.left()) / ink.width(); };
    const auto fy = [&](int y) { return double(y - ink.top()) / ink.height(); };
    const auto addColumn = [](QList<double>& list, double v) {
        if (list.isEmpty() || v - list.back() > 0.01)
            list << v;
    };
    for (int x = ink.left(); x <= ink.right(); ++x) {
        int green = 0, grey = 0, dashes = 0;
        bool inDash = false;
        // Rows of the middle half of the ink, clear of labels and titles.
        for (int y = ink.top() + ink.height() / 4; y < ink.bottom() - ink.height() / 4; ++y) {
            const QColor c = image.pixelColor(x, y);
            green += Green(c);
            grey += Grey(c);
            dashes += Green(c) && !inDash;
            inDash = Green(c);
        }
        if (green > ink.height() / 8) {
            addColumn(f.MarkerColumns, fx(x));
            f.MarkerDashes = std::max(f.MarkerDashes, dashes);
        }
        if (grey > 4 && green == 0)
            addColumn(f.GridColumns, fx(x));
    }
    for (int y = ink.top(); y <= ink.bottom(); ++y)
        for (int x = ink.left(); x <= ink.right(); ++x)
            if (Red(image.pixelColor(x, y))) {
                if (f.TraceHigh < 0)
                    f.TraceHigh = fy(y);
                f.TraceLow = fy(y);
            }
    return f;
}

void CompareColumns(const QList<double>& got, const QList<double>& want, const char* what) {
    QVERIFY2(got.size() == want.size(), what);
    for (int i = 0; i < got.size(); ++i)
        QVERIFY2(std::abs(got[i] - want[i]) < 0.015, what);
}

QByteArray Run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        qWarning() << program << args << p.readAllStandardError();
    return p.readAllStandardOutput();
}

QByteArray Content(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

template <class T> T Read(const QByteArray& bytes, int offset) {
    T v;
    std::memcpy(&v, bytes.constData() + offset, sizeof v);
    return v;
}

// The picture size an enhanced metafile's frame (0.01 mm) gives at 96 dots per inch.
QSize EmfFramePixels(const QByteArray& emf) {
    const auto px = [](int hundredths) { return qRound(hundredths * 96 / 2540.0); };
    return {px(Read<int32_t>(emf, 32) - Read<int32_t>(emf, 24)),
            px(Read<int32_t>(emf, 36) - Read<int32_t>(emf, 28))};
}

} // namespace

class MainFormPicturesTest : public recording_test::TWindowTest {
    Q_OBJECT

private:
    chart::TChart* Chart = nullptr;

    QPoint At(double fraction) const {
        const QRect plot = Chart->PlotRect();
        return {plot.left() + int(plot.width() * fraction), plot.top() + plot.height() / 3};
    }
    // Through the picture save dialog, as typed and confirmed.
    void SaveImage(const QString& path) {
        auto* dialog = Form->findChild<QFileDialog*>(QStringLiteral("SavePictureDialog"));
        QTimer::singleShot(0, dialog, [dialog, path] {
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
            static_cast<QDialog*>(dialog)->accept();
        });
        Action("actSaveImage")->trigger();
    }
    // What the window shows after its next full paint, which must come.
    QImage NextWindowPicture() {
        QSignalSpy painted(Chart, &chart::TChart::painted);
        [&] { QTRY_VERIFY(painted.count() > 0); }();
        return Chart->BackBuffer().convertToFormat(QImage::Format_RGB32);
    }

private slots:
    void init() {
        NewSettingsFolder();
        ShowNewWindow();
        Chart = Find<chart::TChart>("Chart");
        Form->resize(Form->size() + QSize(666, 223) - Chart->size());
        QTRY_COMPARE(Chart->size(), QSize(666, 223));
        chart::TChartSeries* series = Chart->Series(0);
        for (int i = 0; i <= 400; ++i)
            series->AddPoint(i * 0.0025, (i / 40) % 2);
        Form->findChild<controls::TSpinEdit*>(QStringLiteral("spedGridPeriod"))->SetValue(0.25L);
        Action("actViewGrid")->trigger();
        Action("actViewMarkers")->trigger();
        Chart->RedrawNow();
        for (const auto& [marker, at] : {std::pair{"actSetMarker1", 0.3}, {"actSetMarker2", 0.7}}) {
            Action(marker)->setChecked(true);
            QCursor::setPos(Chart->mapToGlobal(At(at)));
            QTest::mouseClick(Chart, Qt::LeftButton, {}, At(at));
        }
        // The crosshair, on the screen only.
        if (!Action("actViewCursor")->isChecked())
            Action("actViewCursor")->trigger();
        for (const double at : {0.45, 0.5}) {
            QCursor::setPos(Chart->mapToGlobal(At(at)));
            QTest::mouseMove(Chart, At(at));
        }
        QVERIFY(!Chart->Overlay().Empty());
    }
    void cleanup() { Form.reset(); }

    // The bitmap holds what the window's next full repaint shows, without the crosshair; the
    // hooks ran for it (marker and grid lines, the readout) and run again for the window.
    void bitmapEqualsTheWindowsRepaint() {
        recording_test::TBoxCloser boxes;
        SaveImage(Path("chart.BMP")); // the extension in any case
        QCOMPARE(boxes.Texts(), QStringList());
        QVERIFY(Chart->BackBuffer().isNull());
        const QImage window = NextWindowPicture();
        QVERIFY(Chart->Overlay().Empty());
        QCOMPARE(QString::fromLatin1(Run(QStringLiteral("identify"),
                                         {QStringLiteral("-format"), QStringLiteral("%m %w %h %z"),
                                          Path("chart.BMP")})),
                 QStringLiteral("BMP3 666 223 8"));
        QCOMPARE(Read<uint16_t>(Content(Path("chart.BMP")), 28), uint16_t(24));
        const QByteArray ppm =
            Run(QStringLiteral("convert"), {Path("chart.BMP"), QStringLiteral("-depth"),
                                            QStringLiteral("8"), QStringLiteral("rgb:-")});
        QCOMPARE(ppm.size(), 666 * 223 * 3);
        const QImage read = QImage(reinterpret_cast<const uchar*>(ppm.constData()), 666, 223,
                                   666 * 3, QImage::Format_RGB888)
                                .convertToFormat(QImage::Format_RGB32);
        QVERIFY(read == window);
        const TFeatures f = Features(read);
        QCOMPARE(f.MarkerColumns.size(), 2);
        QVERIFY(f.GridColumns.size() >= 4);
    }

    void otherNamesAsTheExtensionSays() {
        recording_test::TBoxCloser boxes;
        SaveImage(Path("chart.png"));
        QCOMPARE(QImage(Path("chart.png")).size(), QSize(666, 223));
        SaveImage(Path("chart.xyz"));
        QTRY_COMPARE(boxes.Texts().size(), 1);
        QVERIFY(boxes.Texts()[0].contains(QStringLiteral(".bmp, .emf, .wmf, .png, .svg, .pdf")));
        QVERIFY(!QFile::exists(Path("chart.xyz")));
    }

    // Frames of one pixel less than the chart, in the headers an independent reader checks.
    void metafileFrames() {
        QCOMPARE(EmfFramePixels(Chart->MakeMetafile(true, Chart->rect())), QSize(665, 222));
        QCOMPARE(EmfFramePixels(Chart->MakeMetafile(true, QRect(0, 0, 1, 1))), QSize(1, 1));

        // The placeable header's box at its units an inch, as pixels at 96 dots per inch.
        const auto wmfPixels = [](const QByteArray& wmf) {
            const double inch = Read<uint16_t>(wmf, 14);
            return QSize(qRound((Read<int16_t>(wmf, 10) - Read<int16_t>(wmf, 6)) * 96 / inch),
                         qRound((Read<int16_t>(wmf, 12) - Read<int16_t>(wmf, 8)) * 96 / inch));
        };
        const QByteArray wmf = Chart->MakeMetafile(false, Chart->rect());
        QCOMPARE(Read<uint32_t>(wmf, 0), 0x9AC6CDD7u);
        QCOMPARE(wmfPixels(wmf), QSize(665, 222));
        uint16_t checksum = 0;
        for (int i = 0; i < 10; ++i)
            checksum ^= Read<uint16_t>(wmf, 2 * i);
        QCOMPARE(Read<uint16_t>(wmf, 20), checksum);
        QCOMPARE(wmfPixels(Chart->MakeMetafile(false, QRect(0, 0, 1, 1))), QSize(1, 1));
    }

    // LibreOffice draws both metafiles with the window's trace, grid, dashed markers and texts.
    void libreOfficeDrawsTheMetafiles() {
        SaveImage(Path("chart_e.emf"));
        SaveImage(Path("chart_w.wmf"));
        const TFeatures screen = Features(NextWindowPicture());
        QCOMPARE(screen.MarkerColumns.size(), 2);
        QVERIFY(screen.GridColumns.size() >= 4);
        // A profile of its own, so that an office already running elsewhere does not take the job.
        Run(QStringLiteral("soffice"),
            {QStringLiteral("-env:UserInstallation=") +
                 QUrl::fromLocalFile(Path("profile")).toString(),
             QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("pdf"),
             QStringLiteral("--outdir"), Folder().path(), Path("chart_e.emf"),
             Path("chart_w.wmf")});
        for (const char* name : {"chart_e", "chart_w"}) {
            const QString pdf =
                Folder().filePath(QString::fromLatin1(name) + QStringLiteral(".pdf"));
            const QString text =
                QString::fromUtf8(Run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}));
            QVERIFY2(text.contains(QStringLiteral("Время, мс")), name);
            QVERIFY2(text.contains(Chart->Title().Text().value(0).section(QLatin1Char(' '), 0, 0)),
                     name);
            Run(QStringLiteral("pdftoppm"),
                {QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-png"),
                 QStringLiteral("-singlefile"), pdf, Folder().filePath(QString::fromLatin1(name))});
            const TFeatures drawn = Features(
                QImage(Folder().filePath(QString::fromLatin1(name) + QStringLiteral(".png"))));
            CompareColumns(drawn.MarkerColumns, screen.MarkerColumns, name);
            CompareColumns(drawn.GridColumns, screen.GridColumns, name);
            QVERIFY2(std::abs(drawn.TraceHigh - screen.TraceHigh) < 0.03, name);
            QVERIFY2(std::abs(drawn.TraceLow - screen.TraceLow) < 0.03, name);
            QVERIFY2(drawn.MarkerDashes > 5, name);
        }
    }

    // An A4 page: the 3:1 chart spread over 70 % of the width, 43 % of the height above and below
    // it; dotted grid lines stay dotted and the panel's colour stays off the paper.
    void printsOnePageWithProportionalMargins() {
        Chart->SetColor(QColor(0xE0, 0xE0, 0xE0));
        const QRect plot = Chart->PlotRect();
        const int gridColumn = Chart->BottomAxis().AxisValueToPixel(0.25);
        auto* dialog = Form->findChild<QPrintDialog*>(QStringLiteral("PrinterSetupDialog"));
        QPrinter* printer = dialog->printer();
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(Path("page.pdf"));
        printer->setPageSize(QPageSize(QPageSize::A4));
        printer->setPageOrientation(QPageLayout::Portrait);
        printer->setFullPage(true);
        for (const bool confirm : {false, true}) {
            // As the operator types the file of "Print to File (PDF)" and confirms, or cancels.
            QTimer::singleShot(0, dialog, [this, dialog, confirm] {
                dialog->findChild<QLineEdit*>(QStringLiteral("filename"))
                    ->setText(Path("page.pdf"));
                confirm ? dialog->accept() : dialog->reject();
            });
            Action("actPrint")->trigger();
            QCOMPARE(QFile::exists(Path("page.pdf")), confirm);
        }
        const QString info = QString::fromUtf8(Run(QStringLiteral("pdfinfo"), {Path("page.pdf")}));
        QVERIFY(info.contains(QRegularExpression(QStringLiteral("Pages: +1\\n"))));
        QVERIFY(info.contains(QRegularExpression(QStringLiteral("Title: +Chart\\n"))));
        QCOMPARE(Chart->PrintMargins(), (chart::TPrintMargins{15, 43, 15, 43}));
        QVERIFY(!Chart->Canvas().IsPrinting() && !Chart->Canvas().RecordingPicture());

        Run(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-png"),
             QStringLiteral("-singlefile"), Path("page.pdf"), Path("page")});
        const QImage page(Path("page.png"));
        QCOMPARE(page.size(), QSize(794, 1123));
        // The plot's left and bottom edges: the first column and row dark over most of the plot.
        const double sx = page.width() * 0.70 / Chart->width();
        const double sy = page.height() * 0.14 / Chart->height();
        const auto dark = [&](int x, int y) { return page.pixelColor(x, y).lightness() < 128; };
        int left = -1, bottom = -1;
        for (int x = 0; x < page.width() && left < 0; ++x) {
            int n = 0;
            for (int y = 0; y < page.height(); ++y)
                n += dark(x, y);
            if (n > plot.height() * sy * 0.8)
                left = x;
        }
        for (int y = 0; y < page.height() && bottom < 0; ++y) {
            int n = 0;
            for (int x = 0; x < page.width(); ++x)
                n += dark(x, y);
            if (n > plot.width() * sx * 0.8)
                bottom = y;
        }
        QVERIFY(std::abs(left - (page.width() * 0.15 + plot.left() * sx)) <= 2);
        QVERIFY(std::abs(bottom - (page.height() * 0.43 + plot.bottom() * sy)) <= 2);

        int panelColoured = 0, gridRuns = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                panelColoured += page.pixelColor(x, y) == QColor(0xE0, 0xE0, 0xE0);
        // A few smoothed edge pixels may match by chance; a filled panel would be thousands.
        QVERIFY(panelColoured < 100);
        // Down the time grid line at 0.25 ms, which the trace crosses once.
        const int column = left + qRound((gridColumn - plot.left()) * sx);
        bool inRun = false;
        for (int y = bottom - qRound(plot.height() * sy) + 5; y < bottom - 5; ++y) {
            const bool ink = page.pixelColor(column, y).lightness() < 235 ||
                             page.pixelColor(column + 1, y).lightness() < 235;
            gridRuns += ink && !inRun;
            inRun = ink;
        }
        QVERIFY2(gridRuns > 20, qPrintable(QString::number(gridRuns)));
    }
};

QTEST_MAIN(MainFormPicturesTest)
#include "main_form_pictures_test.moc"
