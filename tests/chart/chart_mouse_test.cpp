#include "chart/test_util.h"

#include <QApplication>
#include <QTest>
#include <QWheelEvent>

using chart::TChart;
using chart::TChartAxis;

namespace {

struct Range {
    double min, max;
    bool automatic, autoMin, autoMax;
    bool operator==(const Range&) const = default;
};

Range RangeOf(const TChartAxis& a) {
    return Range{a.Minimum(), a.Maximum(), a.Automatic(), a.AutomaticMinimum(),
                 a.AutomaticMaximum()};
}

void Drag(TChart* c, Qt::MouseButton button, QPoint from, QPoint to) {
    QTest::mousePress(c, button, {}, from);
    QTest::mouseMove(c, to);
    QTest::mouseRelease(c, button, {}, to);
}

void Wheel(TChart* c, int angle) {
    const QPoint pos(200, 100);
    QWheelEvent event(pos, c->mapToGlobal(pos), QPoint(), QPoint(0, angle), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(c, &event);
}

} // namespace

class ChartMouseTest : public QObject {
    Q_OBJECT
private slots:
    void dragOf17PixelsZooms();
    void dragOf16PixelsDoesNothing();
    void reverseDragUndoesExactly();
    void undoWithoutZoomStillReports();
    void rangesSavedByTheOwnerAreUndone();
    void clickAndMoveComeBeforeTheChartReacts();
    void zoomRectangleIsDrawnOverTheImage();
    void rightDragScrollsBothHorizontalAxes();
    void scrollEndsAtThePlotEdge();
    void scrollRefusedByOwnerStillCountsAsScrolled();
    void pressOnTitleStartsNoGesture();
    void pressAfterClearPointsBeforeThePaint_data();
    void pressAfterClearPointsBeforeThePaint();
    void wheelShiftsTheLevelAxisThreePercentPerNotch();
    void leavingEndsScrollAndRestoresIdleCursor();
};

void ChartMouseTest::dragOf17PixelsZooms() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    int zooms = 0;
    c->OnZoom = [&](QObject*) {
        ++zooms;
        QVERIFY(!c->ZoomDrag().Active);
    };
    const double b0 = c->BottomAxis().AxisPixelToValue(100);
    const double b1 = c->BottomAxis().AxisPixelToValue(117);
    const double l0 = c->LeftAxis().AxisPixelToValue(67);
    const double l1 = c->LeftAxis().AxisPixelToValue(50);
    Drag(c.get(), Qt::LeftButton, QPoint(100, 50), QPoint(117, 67));
    QCOMPARE(zooms, 1);
    QVERIFY(c->Zoomed());
    QCOMPARE(c->BottomAxis().Minimum(), b0);
    QCOMPARE(c->BottomAxis().Maximum(), b1);
    QCOMPARE(c->LeftAxis().Minimum(), l0);
    QCOMPARE(c->LeftAxis().Maximum(), l1);
    QVERIFY(c->ImageDirty());
}

void ChartMouseTest::dragOf16PixelsDoesNothing() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    int events = 0;
    c->OnZoom = c->OnUndoZoom = [&](QObject*) { ++events; };
    const Range bottom = RangeOf(c->BottomAxis()), left = RangeOf(c->LeftAxis());
    Drag(c.get(), Qt::LeftButton, QPoint(100, 50), QPoint(116, 80));
    Drag(c.get(), Qt::LeftButton, QPoint(100, 50), QPoint(130, 66));
    QCOMPARE(events, 0);
    QVERIFY(RangeOf(c->BottomAxis()) == bottom);
    QVERIFY(RangeOf(c->LeftAxis()) == left);
    QVERIFY(!c->ImageDirty());
    QVERIFY(!c->ZoomDrag().Active);
    QVERIFY(c->Overlay().Empty());
}

void ChartMouseTest::reverseDragUndoesExactly() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    c->RightAxis().SetAutomatic(true);
    c->RightAxis().SetAutomaticMinimum(false);
    const Range before[] = {RangeOf(c->BottomAxis()), RangeOf(c->TopAxis()), RangeOf(c->LeftAxis()),
                            RangeOf(c->RightAxis())};
    int undos = 0;
    c->OnUndoZoom = [&](QObject*) { ++undos; };
    Drag(c.get(), Qt::LeftButton, QPoint(100, 50), QPoint(200, 150));
    QVERIFY(c->Zoomed());
    c->RedrawNow();
    // The owner moves the range meanwhile; the undo overwrites it.
    c->BottomAxis().SetRange(40, 41);
    Drag(c.get(), Qt::LeftButton, QPoint(100, 50), QPoint(40, 20));
    QCOMPARE(undos, 1);
    QVERIFY(!c->Zoomed());
    QVERIFY(RangeOf(c->BottomAxis()) == before[0]);
    QVERIFY(RangeOf(c->TopAxis()) == before[1]);
    QVERIFY(RangeOf(c->LeftAxis()) == before[2]);
    QVERIFY(RangeOf(c->RightAxis()) == before[3]);
    QCOMPARE(c->TopAxis().Maximum(), 0.0);
}

void ChartMouseTest::undoWithoutZoomStillReports() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    int undos = 0;
    c->OnUndoZoom = [&](QObject*) { ++undos; };
    const Range bottom = RangeOf(c->BottomAxis());
    Drag(c.get(), Qt::LeftButton, QPoint(300, 200), QPoint(200, 100));
    QCOMPARE(undos, 1);
    QVERIFY(RangeOf(c->BottomAxis()) == bottom);
    QVERIFY(c->ImageDirty());
}

void ChartMouseTest::rangesSavedByTheOwnerAreUndone() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    const Range before = RangeOf(c->BottomAxis());
    c->SaveRangesForUndo();
    c->BottomAxis().SetRange(40, 41);
    // A second save before the undo keeps the first view.
    c->SaveRangesForUndo();
    c->BottomAxis().SetRange(50, 51);
    Drag(c.get(), Qt::LeftButton, QPoint(300, 200), QPoint(200, 100));
    QVERIFY(RangeOf(c->BottomAxis()) == before);
}

void ChartMouseTest::clickAndMoveComeBeforeTheChartReacts() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    const double before = c->BottomAxis().Maximum();
    QStringList order;
    QPoint seenCorner;
    c->OnMouseMove = [&](QObject*, Qt::KeyboardModifiers, int x, int y) {
        order << QStringLiteral("move %1,%2").arg(x).arg(y);
        seenCorner = QPoint(c->ZoomDrag().X1, c->ZoomDrag().Y1);
    };
    c->OnClick = [&](QObject*) {
        order << "click";
        QCOMPARE(c->BottomAxis().Maximum(), before);
    };
    c->OnMouseUp = [&](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        order << "up";
    };
    c->OnZoom = [&](QObject*) { order << "zoom"; };
    QTest::mousePress(c.get(), Qt::LeftButton, {}, QPoint(100, 50));
    QTest::mouseMove(c.get(), QPoint(150, 90));
    // The rectangle had not moved yet.
    QCOMPARE(seenCorner, QPoint(100, 50));
    QTest::mouseRelease(c.get(), Qt::LeftButton, {}, QPoint(150, 90));
    QCOMPARE(order, QStringList({"move 150,90", "click", "up", "zoom"}));
    QVERIFY(c->BottomAxis().Maximum() != before);
}

void ChartMouseTest::zoomRectangleIsDrawnOverTheImage() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    const QImage clean = c->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QTest::mousePress(c.get(), Qt::LeftButton, {}, QPoint(100, 50));
    QTest::mouseMove(c.get(), QPoint(150, 90));
    QTest::mouseMove(c.get(), QPoint(160, 100));
    const QImage dragging = c->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // NOT-XOR of the black pen turns white to black; the first rectangle is gone.
    QCOMPARE(dragging.pixelColor(100, 75), QColor(Qt::black));
    QCOMPARE(dragging.pixelColor(159, 75), QColor(Qt::black));
    QCOMPARE(dragging.pixelColor(149, 75), clean.pixelColor(149, 75));
    QCOMPARE(c->BackBuffer(), clean);
    QTest::mouseRelease(c.get(), Qt::LeftButton, {}, QPoint(105, 55));
    QCOMPARE(c->grab().toImage().convertToFormat(QImage::Format_RGB32), clean);
}

void ChartMouseTest::rightDragScrollsBothHorizontalAxes() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    c->TopAxis().SetMaximum(50);
    c->RedrawNow();
    int scrolls = 0;
    c->OnScroll = [&](QObject*) { ++scrolls; };
    const double widthBottom =
        c->BottomAxis().AxisPixelToValue(210) - c->BottomAxis().AxisPixelToValue(200);
    const double widthTop = c->TopAxis().AxisPixelToValue(210) - c->TopAxis().AxisPixelToValue(200);
    const Range left = RangeOf(c->LeftAxis());
    QTest::mousePress(c.get(), Qt::RightButton, {}, QPoint(200, 100));
    QTest::mouseMove(c.get(), QPoint(210, 100));
    QCOMPARE(scrolls, 1);
    QTest::mouseMove(c.get(), QPoint(210, 100));
    QCOMPARE(scrolls, 1);
    QTest::mouseRelease(c.get(), Qt::RightButton, {}, QPoint(210, 100));
    QCOMPARE(c->BottomAxis().Minimum(), 0 - widthBottom);
    QCOMPARE(c->BottomAxis().Maximum(), 100 - widthBottom);
    QCOMPARE(c->TopAxis().Minimum(), 0 - widthTop);
    QCOMPARE(c->TopAxis().Maximum(), 50 - widthTop);
    QVERIFY(RangeOf(c->LeftAxis()) == left);
    QVERIFY(!c->PanDrag().Active);
}

void ChartMouseTest::scrollEndsAtThePlotEdge() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    int scrolls = 0;
    c->OnScroll = [&](QObject*) { ++scrolls; };
    QTest::mousePress(c.get(), Qt::RightButton, {}, QPoint(200, 100));
    QTest::mouseMove(c.get(), QPoint(210, 100));
    const double minimum = c->BottomAxis().Minimum();
    QTest::mouseMove(c.get(), QPoint(395, 100));
    QVERIFY(!c->PanDrag().Active);
    QTest::mouseMove(c.get(), QPoint(220, 120));
    QTest::mouseRelease(c.get(), Qt::RightButton, {}, QPoint(220, 120));
    QCOMPARE(scrolls, 1);
    QCOMPARE(c->BottomAxis().Minimum(), minimum);
}

void ChartMouseTest::scrollRefusedByOwnerStillCountsAsScrolled() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    int scrolls = 0;
    c->OnScroll = [&](QObject*) { ++scrolls; };
    c->OnAllowScroll = [&](TChartAxis* axis, double&, double&, bool& allow) {
        allow = axis != &c->BottomAxis();
    };
    Drag(c.get(), Qt::RightButton, QPoint(200, 100), QPoint(230, 100));
    QCOMPARE(scrolls, 1);
    QCOMPARE(c->BottomAxis().Minimum(), 0.0);
    QCOMPARE(c->BottomAxis().Maximum(), 100.0);
}

void ChartMouseTest::pressOnTitleStartsNoGesture() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    c->Title().SetText({QStringLiteral("t1=0     t2=0     dt=0     f=?")});
    c->RedrawNow();
    const QPoint onTitle = c->Title().TitleRect().center();
    QVERIFY(!c->PlotRect().contains(onTitle));
    QTest::mousePress(c.get(), Qt::RightButton, {}, onTitle);
    QVERIFY(!c->PanDrag().Active);
    QTest::mouseRelease(c.get(), Qt::RightButton, {}, onTitle);
    QTest::mousePress(c.get(), Qt::LeftButton, {}, onTitle);
    QVERIFY(!c->ZoomDrag().Active);
    QTest::mouseRelease(c.get(), Qt::LeftButton, {}, onTitle);
}

void ChartMouseTest::pressAfterClearPointsBeforeThePaint_data() {
    QTest::addColumn<int>("refill");
    QTest::newRow("cleared") << 0;
    QTest::newRow("cleared and refilled with fewer points") << 10;
}

void ChartMouseTest::pressAfterClearPointsBeforeThePaint() {
    QFETCH(int, refill);
    auto c = MakeShownChart(false);
    QVERIFY(c);
    auto* s = c->Series(0);
    const QPoint onTrace(s->PixelX(95), s->PixelY(95));
    QList<int> clicked;
    c->OnClickSeries = [&](TChart*, chart::TChartSeries*, int index, Qt::MouseButton,
                           Qt::KeyboardModifiers, int, int) { clicked << index; };
    QTest::mousePress(c.get(), Qt::RightButton, {}, onTrace);
    QTest::mouseRelease(c.get(), Qt::RightButton, {}, onTrace);
    QCOMPARE(clicked.size(), 1);

    s->ClearPoints();
    for (int i = 0; i < refill; ++i)
        s->AddPoint(i * 10, 1);
    // The screen still shows the old trace, but none of its points exists any more.
    QVERIFY_THROWS_NO_EXCEPTION(QTest::mousePress(c.get(), Qt::RightButton, {}, onTrace));
    QTest::mouseRelease(c.get(), Qt::RightButton, {}, onTrace);
    QCOMPARE(clicked.size(), 1);

    if (refill == 0)
        return;
    c->RedrawNow();
    const QPoint onNewTrace(s->PixelX(5), s->PixelY(5));
    QTest::mousePress(c.get(), Qt::RightButton, {}, onNewTrace);
    QTest::mouseRelease(c.get(), Qt::RightButton, {}, onNewTrace);
    QCOMPARE(clicked.size(), 2);
}

void ChartMouseTest::wheelShiftsTheLevelAxisThreePercentPerNotch() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    int scrolls = 0, repaints = 0;
    c->OnScroll = [&](QObject*) { ++scrolls; };
    c->OnAfterDraw = [&](QObject*) { ++repaints; };
    c->LeftAxis().SetAutomaticMaximum(false);
    Wheel(c.get(), -120);
    QCOMPARE(repaints, 1);
    QVERIFY(qFuzzyCompare(c->LeftAxis().Minimum(), -0.91));
    QVERIFY(qFuzzyCompare(c->LeftAxis().Maximum(), 2.09));
    QVERIFY(!c->LeftAxis().Automatic());
    Wheel(c.get(), 240);
    QCOMPARE(repaints, 3);
    QVERIFY(qFuzzyCompare(c->LeftAxis().Minimum() + 2, -1.09 + 2));
    QCOMPARE(c->BottomAxis().Minimum(), 0.0);
    QCOMPARE(scrolls, 0);
}

void ChartMouseTest::leavingEndsScrollAndRestoresIdleCursor() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    c->SetIdleCursor(Qt::CrossCursor);
    QTest::mousePress(c.get(), Qt::RightButton, {}, QPoint(200, 100));
    QVERIFY(c->PanDrag().Active);
    QCOMPARE(c->cursor().shape(), Qt::ArrowCursor);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(c.get(), &leave);
    QVERIFY(!c->PanDrag().Active);
    QCOMPARE(c->cursor().shape(), Qt::CrossCursor);
    QTest::mouseRelease(c.get(), Qt::RightButton, {}, QPoint(200, 100));
}

QTEST_MAIN(ChartMouseTest)
#include "chart_mouse_test.moc"
