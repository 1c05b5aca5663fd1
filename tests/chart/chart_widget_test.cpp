#include "chart/test_util.h"

#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <stdexcept>

using chart::TChart;
using chart::TChartAxis;

class ChartWidgetTest : public QObject {
    Q_OBJECT
private slots:
    void plotRectFromMarginsWithoutAxes();
    void axesTakeRoomFromThePlot();
    void titleLinesMoveThePlotDown();
    void wallFrameIsThePaintersRectangle_data();
    void wallFrameIsThePaintersRectangle();
    void whitePanelClearsExactlyItsRectangle_data();
    void whitePanelClearsExactlyItsRectangle();
    void plainExposeOnlyCopiesTheImage();
    void requestRedrawIsAsynchronousRedrawNowIsNot();
    void repaintRunsHooksInOrder();
    void hiddenAxesCallNoAxisHook();
    void seriesWithoutShownPointsIsSkipped();
    void afterDrawValuesSeesLinePenWithoutClip();
    void neverStoppingHookIsCutAt2001CallsPerAxis();
    void floorPlusOneHookDrawsGridAtLevels();
    void defaultLabelsEndOnAOneValueRange_data();
    void defaultLabelsEndOnAOneValueRange();
    void invertedLeftAxisPutsTheTopValueDown();
    void xorOverlayDrawnTwiceRestoresTheScreen();
    void fullRepaintWipesTheOverlay();
    void propertyChangeMarksTheImageDirty();
    void withoutAutoRepaintANewPointIsDrawnAtOnce();
};

void ChartWidgetTest::plotRectFromMarginsWithoutAxes() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    // 3 % of 400 and 4 % of 250 on each side.
    QCOMPARE(c->PlotRect(), QRect(QPoint(12, 10), QPoint(388, 240)));
    QCOMPARE(c->BottomAxis().StartPixel(), 12);
    QCOMPARE(c->BottomAxis().EndPixel(), 388);
    QCOMPARE(c->LeftAxis().StartPixel(), 10);
    QCOMPARE(c->LeftAxis().EndPixel(), 240);
}

void ChartWidgetTest::axesTakeRoomFromThePlot() {
    auto c = MakeShownChart(true);
    QVERIFY(c);
    const QRect withAxes = c->PlotRect();
    QVERIFY(withAxes.left() > 12);
    QVERIFY(withAxes.bottom() < 240);
    QCOMPARE(withAxes.top(), 10);
    QCOMPARE(withAxes.right(), 388);
    c->BottomAxis().Title().SetCaption(QStringLiteral("Время, мс "));
    c->RedrawNow();
    QVERIFY(c->PlotRect().bottom() < withAxes.bottom());
    c->SetAxisVisible(false);
    c->RedrawNow();
    QCOMPARE(c->PlotRect(), QRect(QPoint(12, 10), QPoint(388, 240)));
}

void ChartWidgetTest::titleLinesMoveThePlotDown() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    c->Title().SetText({QStringLiteral("t1=0     t2=0     dt=0     f=?"), QStringLiteral("x")});
    c->Title().SetVisible(true);
    c->RedrawNow();
    const int lineHeight = QFontMetrics(c->Title().Font()).height();
    QCOMPARE(c->PlotRect().top(), 10 + 2 * lineHeight + 5);
    QVERIFY(c->Title().TitleRect().contains(200, 10 + lineHeight / 2));
}

void ChartWidgetTest::wallFrameIsThePaintersRectangle_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("style");
    QTest::newRow("one pixel") << QSize(400, 250) << QColor(Qt::black) << 1 << int(Qt::SolidLine);
    QTest::newRow("odd size") << QSize(233, 101) << QColor(Qt::blue) << 1 << int(Qt::SolidLine);
    QTest::newRow("tiny") << QSize(9, 7) << QColor(Qt::black) << 1 << int(Qt::SolidLine);
    QTest::newRow("width 0") << QSize(400, 250) << QColor(Qt::black) << 0 << int(Qt::SolidLine);
    QTest::newRow("see-through") << QSize(400, 250) << QColor(0, 0, 255, 128) << 1
                                 << int(Qt::SolidLine);
    QTest::newRow("width 3") << QSize(400, 250) << QColor(Qt::black) << 3 << int(Qt::SolidLine);
    QTest::newRow("dotted") << QSize(400, 250) << QColor(Qt::black) << 1 << int(Qt::DotLine);
}

// However the frame is drawn, its pixels are those of the painter's own rectangle through the
// edge rows and columns of the plot.
void ChartWidgetTest::wallFrameIsThePaintersRectangle() {
    QFETCH(QSize, size);
    QFETCH(QColor, color);
    QFETCH(int, width);
    QFETCH(int, style);
    TChart c;
    c.resize(size);
    c.SetColor(Qt::white);
    c.SetView3D(false);
    c.BackWall().Pen().SetColor(color);
    c.BackWall().Pen().SetWidth(width);
    c.BackWall().Pen().SetStyle(Qt::PenStyle(style));
    QImage drawn(size, QImage::Format_RGB32);
    {
        QPainter painter(&drawn);
        c.DrawChart(painter, QRect(QPoint(0, 0), size));
    }
    const QRect plot = c.PlotRect();
    QImage expected(size, QImage::Format_RGB32);
    expected.fill(Qt::white);
    {
        QPainter painter(&expected);
        painter.setPen(QPen(color, width, Qt::PenStyle(style)));
        painter.drawRect(
            QRect(plot.topLeft(), QSize(plot.right() - plot.left(), plot.bottom() - plot.top())));
    }
    QCOMPARE(drawn, expected);
    QCOMPARE(drawn.pixelColor(plot.bottomRight()), expected.pixelColor(plot.bottomRight()));
}

void ChartWidgetTest::whitePanelClearsExactlyItsRectangle_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QRect>("panel");
    QTest::newRow("whole RGB32") << int(QImage::Format_RGB32) << QRect(0, 0, 400, 250);
    QTest::newRow("inner RGB32") << int(QImage::Format_RGB32) << QRect(7, 5, 300, 200);
    QTest::newRow("past the edge ARGB32") << int(QImage::Format_ARGB32) << QRect(-9, 30, 500, 400);
    QTest::newRow("inner premultiplied")
        << int(QImage::Format_ARGB32_Premultiplied) << QRect(31, 0, 369, 250);
}

// The white panel is cleared straight in the image's memory where it can be; the pixels are
// those that the painter's own fill gives, and nothing outside the panel changes.
void ChartWidgetTest::whitePanelClearsExactlyItsRectangle() {
    QFETCH(int, format);
    QFETCH(QRect, panel);
    auto c = MakeShownChart(true);
    QVERIFY(c);
    const auto draw = [&](bool clipped) {
        QImage image(QSize(400, 250), QImage::Format(format));
        image.fill(QColor(40, 90, 200));
        QPainter painter(&image);
        // A clip covering the whole image changes no pixel, but the painter then fills itself.
        if (clipped)
            painter.setClipRect(image.rect());
        c->DrawChart(painter, panel);
        return image;
    };
    const QImage direct = draw(false);
    const QImage painted = draw(true);
    QCOMPARE(direct, painted);
    QCOMPARE(direct.pixelColor(panel.intersected(direct.rect()).topLeft()), QColor(Qt::white));
}

void ChartWidgetTest::plainExposeOnlyCopiesTheImage() {
    auto c = MakeShownChart(true);
    QVERIFY(c);
    int axes = 0, labels = 0, after = 0, values = 0;
    c->OnBeforeDrawAxes = [&](QObject*) { ++axes; };
    c->OnGetNextAxisLabel = [&](TChartAxis*, int, double&, bool&) { ++labels; };
    c->OnAfterDraw = [&](QObject*) { ++after; };
    c->Series(0)->AfterDrawValues = [&](QObject*) { ++values; };
    c->RedrawNow();
    QCOMPARE(axes, 1);
    QCOMPARE(after, 1);
    QCOMPARE(values, 1);
    const int labelCalls = labels;
    QVERIFY(labelCalls >= 2);
    QVERIFY(!c->ImageDirty());
    const QImage before = c->BackBuffer();
    c->repaint();
    const QImage shown = c->grab().toImage();
    QCOMPARE(axes, 1);
    QCOMPARE(after, 1);
    QCOMPARE(values, 1);
    QCOMPARE(labels, labelCalls);
    QCOMPARE(shown.convertToFormat(QImage::Format_RGB32), before);
}

void ChartWidgetTest::requestRedrawIsAsynchronousRedrawNowIsNot() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    int after = 0;
    c->OnAfterDraw = [&](QObject*) { ++after; };
    c->Series(0)->RequestRedraw();
    QVERIFY(c->ImageDirty());
    QCOMPARE(after, 0);
    QTRY_COMPARE(after, 1);
    QVERIFY(!c->ImageDirty());
    // Writes mark nothing; thousands of additions make one repaint.
    c->Series(0)->YValues().WriteValue(0, 1);
    QVERIFY(!c->ImageDirty());
    for (int i = 0; i < 1000; ++i)
        c->Series(0)->AddPoint(200 + i, 0);
    QTRY_COMPARE(after, 2);
    QTest::qWait(20);
    QCOMPARE(after, 2);
    c->RedrawNow();
    QCOMPARE(after, 3);
}

void ChartWidgetTest::repaintRunsHooksInOrder() {
    auto c = MakeShownChart(true);
    QVERIFY(c);
    QStringList order;
    c->OnBeforeDrawAxes = [&](QObject*) { order << "axes"; };
    c->OnGetNextAxisLabel = [&](TChartAxis* axis, int index, double&, bool&) {
        if (index == 0)
            order << (axis == &c->BottomAxis() ? "bottom"
                      : axis == &c->LeftAxis() ? "left"
                                               : "other");
    };
    c->OnBeforeDrawSeries = [&](QObject*) { order << "series"; };
    c->Series(0)->BeforeDrawValues = [&](QObject*) { order << "before"; };
    c->Series(0)->AfterDrawValues = [&](QObject* s) {
        QCOMPARE(s, c->Series(0));
        order << "values";
    };
    c->OnAfterDraw = [&](QObject* sender) {
        QCOMPARE(sender, c.get());
        order << "after";
    };
    c->RedrawNow();
    QCOMPARE(order, QStringList({"axes", "bottom", "left", "series", "before", "values", "after"}));
}

void ChartWidgetTest::hiddenAxesCallNoAxisHook() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    int calls = 0;
    c->OnBeforeDrawAxes = [&](QObject*) { ++calls; };
    c->OnGetNextAxisLabel = [&](TChartAxis*, int, double&, bool&) { ++calls; };
    c->RedrawNow();
    QCOMPARE(calls, 0);
}

void ChartWidgetTest::seriesWithoutShownPointsIsSkipped() {
    auto c = MakeShownChart(false, 0);
    QVERIFY(c);
    int before = 0, after = 0;
    auto* s = c->Series(0);
    s->BeforeDrawValues = [&](QObject*) { ++before; };
    s->AfterDrawValues = [&](QObject*) { ++after; };
    c->RedrawNow();
    QCOMPARE(after, 0);
    // All points left of the plot.
    for (int i = -50; i < -10; ++i)
        s->AddPoint(i, 1);
    c->RedrawNow();
    QCOMPARE(before + after, 0);
    QCOMPARE(s->FirstShownIndex(), -1);
    s->AddPoint(5, 0);
    c->RedrawNow();
    QCOMPARE(after, 1);
    QCOMPARE(s->FirstShownIndex(), 40);
}

void ChartWidgetTest::afterDrawValuesSeesLinePenWithoutClip() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    c->Series(0)->AfterDrawValues = [&](QObject*) {
        QCOMPARE(c->Canvas().Pen().Color(), QColor(Qt::red));
        QCOMPARE(c->Canvas().Pen().Mode(), chart::pmCopy);
        QVERIFY(!c->Canvas().Painter()->hasClipping());
        // A marker line drawn here is part of the image, even on the frame.
        c->Canvas().Pen().SetColor(Qt::blue);
        c->Canvas().MoveTo(c->PlotRect().left(), 2);
        c->Canvas().LineTo(c->PlotRect().left(), 5);
    };
    c->OnAfterDraw = [&](QObject*) {
        QCOMPARE(c->Canvas().Pen().Color(), QColor(Qt::black));
        QCOMPARE(c->Canvas().Font().pointSize(), 10);
    };
    c->RedrawNow();
    QCOMPARE(c->BackBuffer().pixelColor(c->PlotRect().left(), 3), QColor(Qt::blue));
}

void ChartWidgetTest::neverStoppingHookIsCutAt2001CallsPerAxis() {
    auto c = MakeShownChart(true);
    QVERIFY(c);
    int bottom = 0, left = 0;
    c->OnGetNextAxisLabel = [&](TChartAxis* axis, int, double& value, bool& stop) {
        stop = false;
        ++(axis == &c->BottomAxis() ? bottom : left);
        QCOMPARE(value, axis->EffectiveMinimum());
    };
    c->RedrawNow();
    QCOMPARE(bottom, 2001);
    QCOMPARE(left, 2001);
}

void ChartWidgetTest::floorPlusOneHookDrawsGridAtLevels() {
    auto c = MakeShownChart(true, 0);
    QVERIFY(c);
    // Only the level axis's grid: the time axis would cross every row.
    c->BottomAxis().Grid().SetVisible(false);
    c->OnGetNextAxisLabel = [&](TChartAxis* axis, int, double& value, bool& stop) {
        if (axis != &c->LeftAxis())
            return;
        stop = false;
        value = std::floor(value) + 1;
    };
    c->RedrawNow();
    const QImage image = c->BackBuffer();
    const QRect plot = c->PlotRect();
    const auto grayOnRow = [&](int y) {
        int n = 0;
        for (int x = plot.left() + 1; x < plot.right(); ++x)
            n += image.pixelColor(x, y) == QColor(0x80, 0x80, 0x80);
        return n;
    };
    for (double level : {0.0, 1.0, 2.0})
        QVERIFY2(grayOnRow(c->LeftAxis().AxisValueToPixel(level)) > 20,
                 qPrintable(QString::number(level)));
    QCOMPARE(grayOnRow(c->LeftAxis().AxisValueToPixel(0.5)), 0);
    QCOMPARE(grayOnRow(c->LeftAxis().AxisValueToPixel(-0.5)), 0);
}

void ChartWidgetTest::defaultLabelsEndOnAOneValueRange_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("zoomed");
    QTest::newRow("automatic axis, one point at 20000") << 20000.0 << false;
    // SetRange widens to 1e-10, which from 2^20 on is lost in rounding as well.
    QTest::newRow("range set to 2^20 .. 2^20") << 1048576.0 << true;
    QTest::newRow("range set to 1e9 .. 1e9") << 1e9 << true;
}

void ChartWidgetTest::defaultLabelsEndOnAOneValueRange() {
    QFETCH(double, value);
    QFETCH(bool, zoomed);
    TChart c;
    c.resize(400, 250);
    auto* s = new chart::TFastLineSeries(&c);
    s->AddPoint(zoomed ? 0 : value, 0);
    if (zoomed)
        c.BottomAxis().SetRange(value, value);
    QStringList texts;
    c.OnGetAxisLabel = [&](TChartAxis* axis, chart::TChartSeries*, int, QString& text) {
        if (axis != &c.BottomAxis())
            return;
        texts << text;
        if (texts.size() > 10000)
            throw std::runtime_error("the bottom axis never stops placing labels");
    };
    QImage image(c.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    QVERIFY_THROWS_NO_EXCEPTION(c.DrawChart(painter, c.rect()));
    QCOMPARE(c.BottomAxis().EffectiveRange(), 0.0);
    QVERIFY2(texts.size() < 10, qPrintable(texts.join(QLatin1Char('|'))));
    QVERIFY(texts.contains(c.BottomAxis().FormatNumber(value)));
}

void ChartWidgetTest::invertedLeftAxisPutsTheTopValueDown() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    TChartAxis& left = c->LeftAxis();
    QCOMPARE(left.AxisValueToPixel(2), c->PlotRect().top());
    left.SetInverted(true);
    QVERIFY(c->ImageDirty());
    c->RedrawNow();
    QCOMPARE(left.AxisValueToPixel(2), c->PlotRect().bottom());
    QCOMPARE(left.AxisValueToPixel(-1), c->PlotRect().top());
    // Level 1 of the trace is now drawn below level 0.
    const int x = c->BottomAxis().AxisValueToPixel(1);
    QCOMPARE(c->BackBuffer().pixelColor(x, left.AxisValueToPixel(1)), QColor(Qt::red));
    QVERIFY(left.AxisValueToPixel(1) > left.AxisValueToPixel(0));
}

void ChartWidgetTest::xorOverlayDrawnTwiceRestoresTheScreen() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    const QImage clean = c->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const auto crossHair = [&](int x, int y) {
        chart::TChartCanvas& canvas = c->Canvas();
        canvas.Pen().SetColor(Qt::green);
        canvas.Pen().SetMode(chart::pmXor);
        canvas.MoveTo(x, c->PlotRect().top());
        canvas.LineTo(x, c->PlotRect().bottom());
        canvas.MoveTo(c->PlotRect().left(), y);
        canvas.LineTo(c->PlotRect().right(), y);
    };
    crossHair(100, 100);
    QCOMPARE(c->Overlay().Count(), 2);
    const QImage drawn = c->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QVERIFY(drawn != clean);
    // Green XOR white.
    QCOMPARE(drawn.pixelColor(100, 50), QColor(0xff, 0x00, 0xff));
    crossHair(100, 100);
    QVERIFY(c->Overlay().Empty());
    QCOMPARE(c->grab().toImage().convertToFormat(QImage::Format_RGB32), clean);
    // The back buffer itself never holds the overlay.
    crossHair(120, 80);
    QCOMPARE(c->BackBuffer(), clean);
}

void ChartWidgetTest::fullRepaintWipesTheOverlay() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    c->Canvas().Pen().SetMode(chart::pmXor);
    c->Canvas().MoveTo(50, 50);
    c->Canvas().LineTo(60, 60);
    c->repaint();
    QVERIFY2(!c->Overlay().Empty(), "an expose keeps it on screen");
    c->RedrawNow();
    QVERIFY(c->Overlay().Empty());
}

void ChartWidgetTest::propertyChangeMarksTheImageDirty() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    c->LeftAxis().Grid().SetColor(Qt::blue);
    QVERIFY(c->ImageDirty());
    c->RedrawNow();
    c->LeftAxis().SetMaximum(2);
    QVERIFY2(!c->ImageDirty(), "an unchanged value marks nothing");
    c->Title().SetVisible(true);
    QVERIFY(!c->ImageDirty());
    c->resize(300, 200);
    QVERIFY(c->ImageDirty());
}

void ChartWidgetTest::withoutAutoRepaintANewPointIsDrawnAtOnce() {
    auto c = MakeShownChart(false);
    QVERIFY(c);
    auto* s = c->Series(0);
    int added = 0;
    s->OnAfterAdd = [&](chart::TChartSeries*, int) { ++added; };
    s->SetAutoRepaint(false);
    s->AddPoint(100.5, 2);
    QVERIFY(!c->ImageDirty());
    QCOMPARE(added, 0);
    QCOMPARE(c->Overlay().Count(), 1);
    const QImage screen = c->grab().toImage();
    QCOMPARE(screen.pixelColor(s->PixelX(101), s->PixelY(101)), QColor(Qt::red));
    QVERIFY(c->BackBuffer().pixelColor(s->PixelX(101), s->PixelY(101)) != QColor(Qt::red));
}

QTEST_MAIN(ChartWidgetTest)
#include "chart_widget_test.moc"
