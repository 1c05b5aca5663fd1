#include "chart/test_util.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

using chart::TChart;

namespace {

// What the chart reports: redraw requests and finished full paints.
struct Counts {
    explicit Counts(TChart* c)
        : requests(c, &TChart::redrawRequested), paints(c, &TChart::painted) {}
    QSignalSpy requests, paints;
};

// A frame far longer than a loop of a few hundred requests takes, so that the loop stays
// within the frame of the paint before it.
constexpr int LongFrame = 300;

} // namespace

class ChartRedrawTest : public QObject {
    Q_OBJECT
private slots:
    void requestsWithinOneFrameShareOnePaint_data();
    void requestsWithinOneFrameShareOnePaint();
    void requestAfterAQuietFrameIsPaintedAtOnce();
    void requestInAFramesLastEighthIsPaintedAtOnce();
    void redrawNowPaintsAtOnceWithinAFrame();
};

void ChartRedrawTest::requestsWithinOneFrameShareOnePaint_data() {
    QTest::addColumn<int>("requests");
    QTest::addColumn<bool>("eventsBetween");
    // The recorder's sweeps each arrive in an event of their own, with the loop running between.
    QTest::newRow("100 requests, events between") << 100 << true;
    QTest::newRow("100 requests in a tight loop") << 100 << false;
    QTest::newRow("a single request") << 1 << true;
}

void ChartRedrawTest::requestsWithinOneFrameShareOnePaint() {
    QFETCH(int, requests);
    QFETCH(bool, eventsBetween);
    auto c = MakeShownChart(false);
    QVERIFY(c);
    c->SetFrameInterval(LongFrame);
    auto* s = c->Series(0);
    c->RedrawNow();
    const Counts counts(c.get());
    for (int i = 0; i < requests; ++i) {
        // Only the last request leaves point 50 at the top of the level axis.
        s->YValues().WriteValue(50, i + 1 == requests ? 2 : -1);
        s->RequestRedraw();
        if (eventsBetween)
            QCoreApplication::processEvents();
    }
    QCOMPARE(counts.requests.count(), requests);
    // The last request is painted, and the paint shows the data it left.
    QTRY_VERIFY(!c->ImageDirty());
    const auto paints = counts.paints.count();
    QVERIFY2(paints >= 1 && paints <= 2, qPrintable(QString::number(paints)));
    QCOMPARE(c->BackBuffer().pixelColor(s->PixelX(50), s->PixelY(50)), QColor(Qt::red));
}

void ChartRedrawTest::requestAfterAQuietFrameIsPaintedAtOnce() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    c->SetFrameInterval(50);
    c->RedrawNow();
    const Counts counts(c.get());
    QTest::qWait(100);
    c->RequestRedraw();
    QCoreApplication::processEvents();
    QCOMPARE(counts.paints.count(), 1);
}

// Data paced at about a frame arrives a moment before the frame ends as often as not; it is painted
// from its own event instead of a timer's a moment later.
void ChartRedrawTest::requestInAFramesLastEighthIsPaintedAtOnce() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    c->SetFrameInterval(LongFrame);
    c->RedrawNow();
    const Counts counts(c.get());
    QTest::qWait(LongFrame * 15 / 16);
    c->RequestRedraw();
    QCoreApplication::processEvents();
    QCOMPARE(counts.paints.count(), 1);
}

void ChartRedrawTest::redrawNowPaintsAtOnceWithinAFrame() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    c->SetFrameInterval(LongFrame);
    const Counts counts(c.get());
    c->RedrawNow();
    c->RedrawNow();
    QCOMPARE(counts.paints.count(), 2);
    QCOMPARE(counts.requests.count(), 2);
    // A request waiting for the frame's end is served by RedrawNow; the frame adds no paint.
    c->RequestRedraw();
    c->RedrawNow();
    QCOMPARE(counts.paints.count(), 3);
    QTest::qWait(2 * LongFrame);
    QCOMPARE(counts.paints.count(), 3);
    // An expose without a change only copies the image; a picture for another target leaves the
    // screen alone.
    c->repaint();
    QImage picture(c->size(), QImage::Format_RGB32);
    QPainter painter(&picture);
    c->DrawChart(painter, picture.rect());
    QCOMPARE(counts.paints.count(), 3);
}

QTEST_MAIN(ChartRedrawTest)
#include "chart_redraw_test.moc"
