// The chart onto files and printers, read back by independent readers.

#include "test_util.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cmath>

namespace {

template <class T> T Read(const QByteArray& bytes, qsizetype offset) {
    return qFromLittleEndian<T>(bytes.constData() + offset);
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

} // namespace

class ChartOutputTest : public QObject {
    Q_OBJECT
private slots:
    void metafilesHaveTheChartsSizeInLibreOffice();
    void placeableMetafileHeaders();
};

// LibreOffice places either picture on a page at its physical size (shrinking only what is larger
// than the page); rendered at 96 dpi, both cover the chart's pixels.
void ChartOutputTest::metafilesHaveTheChartsSizeInLibreOffice() {
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
        QSKIP("LibreOffice (soffice) is not installed");
    auto c = MakeShownChart(true);
    QVERIFY(c);
    c->resize(300, 100);
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

QTEST_MAIN(ChartOutputTest)
#include "test_chart_output.moc"
