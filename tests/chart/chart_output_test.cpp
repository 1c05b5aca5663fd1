// The chart onto files and printers, read back by independent readers.

#include "chart/test_util.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPrintEngine>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextItem>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cmath>
#include <stdexcept>

namespace {

template <class T> T Read(const QByteArray& bytes, qsizetype offset) {
    return qFromLittleEndian<T>(bytes.constData() + offset);
}

// The pixels of about the colour (the office's rendering may round it).
int PixelsOf(const QImage& image, QColor color) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor p = image.pixelColor(x, y);
            n += std::abs(p.red() - color.red()) + std::abs(p.green() - color.green()) +
                             std::abs(p.blue() - color.blue()) <=
                         12
                     ? 1
                     : 0;
        }
    return n;
}

// The box of everything not white.
QRect Ink(const QImage& image) {
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).lightness() < 235)
                ink |= QRect(x, y, 1, 1);
    return ink;
}

// A printer of any resolutions across and down, which need not be equal, and a page of any
// size in its pixels; a resolution set on it applies in both directions. It keeps what is drawn
// on it, in its pixels.
class TTestPrintEngine final : public QPaintEngine, public QPrintEngine {
public:
    TTestPrintEngine(QSize page, int dpiX, int dpiY)
        : QPaintEngine(AllFeatures),
          inches_(double(page.width()) / dpiX, double(page.height()) / dpiY), dpiX_(dpiX),
          dpiY_(dpiY) {}

    QRectF Ink;
    QList<QRectF> Texts;
    // The box of every filled shape, with its brush's colour.
    QList<std::pair<QRectF, QColor>> Fills;
    bool ResolutionSet = false;

    // The paint engine.
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return User; }
    void updateState(const QPaintEngineState& change) override {
        if (change.state() & DirtyTransform)
            transform_ = change.transform();
        if (change.state() & DirtyBrush)
            brush_ = change.brush();
    }
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode) override {
        Add(transform_.map(QPolygonF(QList<QPointF>(points, points + count))).boundingRect());
    }
    void drawPath(const QPainterPath& path) override { Add(transform_.map(path).boundingRect()); }
    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        const QRectF box(p.x(), p.y() - item.ascent(), item.width(),
                         item.ascent() + item.descent());
        Texts << transform_.mapRect(box);
        Ink |= Texts.back();
    }
    void drawPixmap(const QRectF& r, const QPixmap&, const QRectF&) override {
        Ink |= transform_.mapRect(r);
    }

    // The print engine.
    void setProperty(PrintEnginePropertyKey key, const QVariant& value) override {
        if (key == PPK_Resolution) {
            ResolutionSet = true;
            dpiX_ = dpiY_ = value.toInt();
        }
        properties_[key] = value;
    }
    QVariant property(PrintEnginePropertyKey key) const override {
        return key == PPK_Resolution ? QVariant(dpiY_) : properties_.value(key);
    }
    bool newPage() override { return true; }
    bool abort() override { return true; }
    QPrinter::PrinterState printerState() const override { return QPrinter::Idle; }
    int metric(QPaintDevice::PaintDeviceMetric metric) const override {
        switch (metric) {
        case QPaintDevice::PdmWidth:
            return qRound(inches_.width() * dpiX_);
        case QPaintDevice::PdmHeight:
            return qRound(inches_.height() * dpiY_);
        case QPaintDevice::PdmWidthMM:
            return qRound(inches_.width() * 25.4);
        case QPaintDevice::PdmHeightMM:
            return qRound(inches_.height() * 25.4);
        case QPaintDevice::PdmDpiX:
        case QPaintDevice::PdmPhysicalDpiX:
            return dpiX_;
        case QPaintDevice::PdmDpiY:
        case QPaintDevice::PdmPhysicalDpiY:
            return dpiY_;
        case QPaintDevice::PdmDepth:
            return 32;
        case QPaintDevice::PdmNumColors:
            return INT_MAX;
        case QPaintDevice::PdmDevicePixelRatioScaled:
            return qRound(QPaintDevice::devicePixelRatioFScale());
        default:
            return 1;
        }
    }

private:
    void Add(const QRectF& box) {
        Ink |= box;
        if (brush_.style() != Qt::NoBrush)
            Fills.emplace_back(box, brush_.color());
    }

    QSizeF inches_;
    int dpiX_, dpiY_;
    QTransform transform_;
    QBrush brush_;
    QHash<int, QVariant> properties_;
};

// The printer does not own the engines it is given: the engine outlives it.
class TTestPrinter : public QPrinter {
public:
    explicit TTestPrinter(TTestPrintEngine& engine) { setEngines(&engine, &engine); }
};

} // namespace

class ChartOutputTest : public QObject {
    Q_OBJECT
private slots:
    void metafilesHaveTheChartsSizeInLibreOffice();
    void placeableMetafileHeaders();
    void printsWithThePrintersOwnResolutions_data();
    void printsWithThePrintersOwnResolutions();
    void refusesWhatCannotBePrinted();
};

// LibreOffice places either picture on a page at its physical size (shrinking only what is larger
// than the page); rendered at 96 dpi, both cover the chart's pixels, the annotation strip's item
// among them.
void ChartOutputTest::metafilesHaveTheChartsSizeInLibreOffice() {
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
        QSKIP("LibreOffice (soffice) is not installed");
    auto c = MakeShownChart(true);
    QVERIFY(c);
    c->resize(300, 100);
    c->SetStrip({{QStringLiteral("bytes"), {{20, 60, {QStringLiteral("0x41")}, 0}}}});
    QTemporaryDir dir;
    c->WriteMetafile(dir.filePath(QStringLiteral("w.wmf")), false);
    c->WriteMetafile(dir.filePath(QStringLiteral("e.emf")), true);
    QProcess office;
    // A profile of its own, so that an office already running elsewhere does not take the job.
    office.start(QStringLiteral("soffice"),
                 {QStringLiteral("-env:UserInstallation=") +
                      QUrl::fromLocalFile(dir.filePath(QStringLiteral("profile"))).toString(),
                  QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                  QStringLiteral("png"), QStringLiteral("--outdir"), dir.path(),
                  dir.filePath(QStringLiteral("w.wmf")), dir.filePath(QStringLiteral("e.emf"))});
    QVERIFY(office.waitForFinished(180000));
    QCOMPARE(office.exitCode(), 0);
    const QImage wmfPage(dir.filePath(QStringLiteral("w.png")));
    const QImage emfPage(dir.filePath(QStringLiteral("e.png")));
    // An A4 page at 96 dpi.
    QCOMPARE(emfPage.width(), 794);
    QCOMPARE(wmfPage.size(), emfPage.size());
    const QRect wmf = Ink(wmfPage), emf = Ink(emfPage);
    const auto near = [](int a, int b) { return std::abs(a - b) <= 0.02 * b; };
    QVERIFY2(near(wmf.width(), emf.width()) && near(wmf.height(), emf.height()),
             qPrintable(QStringLiteral("wmf %1x%2, emf %3x%4")
                            .arg(wmf.width())
                            .arg(wmf.height())
                            .arg(emf.width())
                            .arg(emf.height())));
    for (const QRect& ink : {wmf, emf})
        QVERIFY2(ink.width() <= 300 && ink.width() > 270 && ink.height() <= 100 &&
                     ink.height() > 85,
                 qPrintable(QStringLiteral("%1x%2").arg(ink.width()).arg(ink.height())));
    for (const QImage* page : {&wmfPage, &emfPage})
        QVERIFY2(PixelsOf(*page, chart::StripColor(0)) > 200,
                 qPrintable(QString::number(PixelsOf(*page, chart::StripColor(0)))));
}

// The placeable header's box and units give the frame's size at the screen's dpi, and the size
// in the metafile's own header is the length of the records that follow, up to the end record.
void ChartOutputTest::placeableMetafileHeaders() {
    auto c = MakeShownChart(true);
    QVERIFY(c);
    const double dpi = c->logicalDpiX();
    for (const QSize size : {QSize(300, 100), QSize(1, 1), QSize(3000, 20)}) {
        c->resize(size);
        const QByteArray wmf = c->MakeMetafile(false, c->rect());
        QCOMPARE(Read<uint32_t>(wmf, 0), 0x9AC6CDD7u);
        const double inch = Read<uint16_t>(wmf, 14);
        const QSize frame(std::max(1, size.width() - 1), std::max(1, size.height() - 1));
        QCOMPARE(qRound((Read<int16_t>(wmf, 10) - Read<int16_t>(wmf, 6)) * dpi / inch),
                 frame.width());
        QCOMPARE(qRound((Read<int16_t>(wmf, 12) - Read<int16_t>(wmf, 8)) * dpi / inch),
                 frame.height());

        constexpr qsizetype placeable = 22;
        QCOMPARE(Read<uint16_t>(wmf, placeable + 2), uint16_t(9)); // header words
        const qsizetype words = Read<uint32_t>(wmf, placeable + 6);
        const uint32_t largest = Read<uint32_t>(wmf, placeable + 12);
        qsizetype at = placeable + 18;
        uint16_t function = 0xFFFF;
        QSize windowExtent;
        while (at + 6 <= wmf.size() && function != 0) {
            const uint32_t recordWords = Read<uint32_t>(wmf, at);
            function = Read<uint16_t>(wmf, at + 4);
            QVERIFY(recordWords >= 3 && recordWords <= largest);
            if (function == 0x020C) // the window's extent, y first
                windowExtent = QSize(Read<int16_t>(wmf, at + 8), Read<int16_t>(wmf, at + 6));
            at += 2 * qsizetype(recordWords);
        }
        QCOMPARE(function, uint16_t(0)); // the end record
        // The drawing's grid fills the box.
        QCOMPARE(windowExtent, QSize(Read<int16_t>(wmf, 10) - Read<int16_t>(wmf, 6),
                                     Read<int16_t>(wmf, 12) - Read<int16_t>(wmf, 8)));
        QCOMPARE(at, wmf.size());
        QCOMPARE(words * 2, wmf.size() - placeable);
    }
}

void ChartOutputTest::printsWithThePrintersOwnResolutions_data() {
    QTest::addColumn<int>("dpiX");
    QTest::addColumn<int>("dpiY");
    QTest::addColumn<QSize>("page");
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("margin"); // top and bottom, for the 3:1 chart
    // A4 pages: round((PH - 0.6 * PW * (223 / 666) * q) * 100 / PH) div 2.
    QTest::newRow("300 dpi") << 300 << 300 << QSize(2480, 3508) << 0 << 43;
    QTest::newRow("twice across") << 600 << 300 << QSize(4961, 3508) << 0 << 21;
    QTest::newRow("twice down") << 300 << 600 << QSize(2480, 7016) << 0 << 48;
    QTest::newRow("layout at half size") << 300 << 300 << QSize(2480, 3508) << 50 << 43;
}

// The margins follow the printer's two resolutions, the printer keeps its own, and the screen's
// layout (at the print-resolution percentage, texts that much larger) fills the print rectangle.
void ChartOutputTest::printsWithThePrintersOwnResolutions() {
    QFETCH(int, dpiX);
    QFETCH(int, dpiY);
    QFETCH(QSize, page);
    QFETCH(int, percent);
    QFETCH(int, margin);
    auto c = MakeShownChart(true);
    QVERIFY(c);
    c->resize(666, 223);
    c->SetStrip({{QStringLiteral("bytes"), {{20, 40, {QStringLiteral("0x41")}, 0}}}});
    c->RedrawNow();
    const QRect strip = c->StripRect();
    const int x0 = c->BottomAxis().AxisValueToPixel(20), x1 = c->BottomAxis().AxisValueToPixel(40);
    c->SetPrintResolution(percent);
    TTestPrintEngine engine(page, dpiX, dpiY);
    TTestPrinter printer(engine);
    c->PrintChart(printer);

    QCOMPARE(c->PrintMargins(), (chart::TPrintMargins{15, margin, 15, margin}));
    QVERIFY(!engine.ResolutionSet);
    // The layout's size, as the labels' font measures it: stretched onto the target, in each
    // direction by its own scale.
    const QRectF target = chart::PrintRectangle(page, c->PrintMargins());
    const QSizeF layout = QSizeF(c->size()) * (100 - percent) / 100.0;
    const double fontHeight = QFontMetricsF(c->BottomAxis().LabelsFont()).height();
    QVERIFY(engine.Texts.size() > 5);
    for (const QRectF& text : engine.Texts)
        QVERIFY2(std::abs(text.height() / target.height() * layout.height() - fontHeight) < 0.5,
                 qPrintable(QString::number(text.height())));
    // Labels may reach beyond the clip by a line of text, nothing further.
    const QRectF ink = engine.Ink;
    const QSizeF line(fontHeight * target.width() / layout.width(),
                      fontHeight * target.height() / layout.height());
    QVERIFY2(
        target.adjusted(-line.width(), -line.height(), line.width(), line.height()).contains(ink) &&
            ink.width() > 0.9 * target.width() && ink.height() > 0.9 * target.height(),
        qPrintable(QStringLiteral("ink %1,%2 %3x%4")
                       .arg(ink.x())
                       .arg(ink.y())
                       .arg(ink.width())
                       .arg(ink.height())));
    // The strip's item on the page: where the screen has it, in the layout's proportions.
    const auto item = std::find_if(engine.Fills.begin(), engine.Fills.end(),
                                   [](const auto& f) { return f.second == chart::StripColor(0); });
    QVERIFY(item != engine.Fills.end());
    const QRectF box = item->first;
    QVERIFY(target.contains(box));
    const double sx = target.width() / layout.width(), sy = target.height() / layout.height();
    if (percent == 0)
        QVERIFY2(std::abs(box.left() - (target.left() + x0 * sx)) <= sx &&
                     std::abs(box.right() - (target.left() + x1 * sx)) <= 2 * sx &&
                     box.top() >= target.top() + strip.top() * sy &&
                     box.bottom() <= target.top() + (strip.bottom() + 1) * sy,
                 qPrintable(QStringLiteral("item %1,%2 %3x%4")
                                .arg(box.x())
                                .arg(box.y())
                                .arg(box.width())
                                .arg(box.height())));
}

void ChartOutputTest::refusesWhatCannotBePrinted() {
    auto c = MakeShownChart(true);
    QVERIFY(c);
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, c->SetPrintResolution(100));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, c->SetPrintResolution(-1));
    QCOMPARE(c->PrintResolution(), 0);
    // Margins that meet: an error, and nothing on the page.
    c->SetPrintProportional(false);
    c->SetPrintMargins({50, 15, 50, 15});
    TTestPrintEngine engine(QSize(2480, 3508), 300, 300);
    TTestPrinter printer(engine);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, c->PrintChart(printer));
    QVERIFY(engine.Ink.isEmpty());
    QVERIFY(!c->Canvas().IsPrinting() && !c->Canvas().RecordingPicture());
}

QTEST_MAIN(ChartOutputTest)
#include "chart_output_test.moc"
