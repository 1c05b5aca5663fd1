#include "chart/test_util.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QTest>
#include <QToolTip>

#include <set>

using chart::StripColor;
using chart::TStripItem;
using chart::TStripRow;

namespace {

QImage Render(chart::TChart& c) {
    QImage image(c.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    c.DrawChart(painter, c.rect());
    return image;
}

// A byte decode over a bit row; each item's colour is its own, so that its pixels can be told.
std::vector<TStripRow> TwoRows() {
    return {{QStringLiteral("UART"),
             {{20, 40, {QStringLiteral("0x41 A"), QStringLiteral("41")}, 0},
              {60, 60, {QStringLiteral("break")}, 2}}},
            {QStringLiteral("bits"),
             {{10, 15, {QStringLiteral("bit 1"), QStringLiteral("1")}, 1},
              {70, 90, {QStringLiteral("frame error"), QStringLiteral("err")}, 3}}}};
}

// The columns of a band of rows in which a pixel has the colour.
std::set<int> ColumnsWith(const QImage& image, int top, int bottom, QColor color) {
    std::set<int> columns;
    for (int y = top; y <= bottom; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == color.rgb())
                columns.insert(x);
    return columns;
}

} // namespace

class AnnotationStripTest : public QObject {
    Q_OBJECT
private slots:
    void itemsLieBetweenThePlotAndTheBottomAxis();
    void noRowsLeaveTheChartAsItWas();
    void textIsTheLongestThatFits_data();
    void textIsTheLongestThatFits();
    void itemsUnderThePointAndTheirToolTips();
    void svgPictureHoldsTheTexts();
    void manyItemsZoomedOutAndALongItemZoomedIn();
};

void AnnotationStripTest::itemsLieBetweenThePlotAndTheBottomAxis() {
    auto c = MakeShownChart(true);
    QVERIFY(c);
    // The trace's low level on the plot's bottom edge: covered, unless the plot gives way.
    c->LeftAxis().SetMinimum(0);
    c->LeftAxis().SetMaximum(1);
    c->SetStrip(TwoRows());
    const QImage image = Render(*c);
    const QRect plot = c->PlotRect(), strip = c->StripRect();
    QVERIFY(strip.top() > plot.bottom() && strip.bottom() < c->BottomAxis().AxisLinePos());
    QCOMPARE(strip.left(), plot.left());
    QCOMPARE(strip.right(), plot.right());

    const int rowHeight = strip.height() / 2;
    const std::vector<TStripRow> rows = TwoRows();
    for (int row = 0; row < 2; ++row) {
        for (const TStripItem& item : rows[static_cast<std::size_t>(row)].Items) {
            if (item.End == item.Start)
                continue;
            const int x0 = c->BottomAxis().AxisValueToPixel(item.Start);
            const int x1 = c->BottomAxis().AxisValueToPixel(item.End);
            const int top = strip.top() + row * rowHeight;
            const std::set<int> in =
                ColumnsWith(image, top, top + rowHeight - 1, StripColor(item.Color));
            QVERIFY2(!in.empty() && *in.begin() >= x0 && *in.rbegin() <= x1 &&
                         int(in.size()) >= x1 - x0 - 3,
                     qPrintable(QStringLiteral("%1..%2: %3 columns from %4")
                                    .arg(x0)
                                    .arg(x1)
                                    .arg(in.size())
                                    .arg(in.empty() ? -1 : *in.begin())));
            // Nowhere else: not in the other row, the plot or below the axis.
            QCOMPARE(ColumnsWith(image, 0, top - 1, StripColor(item.Color)).size(), 0u);
            QCOMPARE(ColumnsWith(image, top + rowHeight, image.height() - 1, StripColor(item.Color))
                         .size(),
                     0u);
        }
    }
    const std::set<int> belowPlot =
        ColumnsWith(image, plot.bottom() + 1, image.height() - 1, Qt::red);
    QVERIFY(belowPlot.empty());
    QVERIFY(ColumnsWith(image, plot.bottom() - 1, plot.bottom(), Qt::red).size() > 100);
}

void AnnotationStripTest::noRowsLeaveTheChartAsItWas() {
    auto plain = MakeShownChart(true);
    auto c = MakeShownChart(true);
    QVERIFY(plain && c);
    const QImage before = Render(*plain);
    c->SetStrip(TwoRows());
    QVERIFY(Render(*c) != before);
    c->SetStrip({});
    QCOMPARE(Render(*c), before);
    QCOMPARE(c->PlotRect(), plain->PlotRect());
    QVERIFY(c->StripRect().isEmpty());
    QVERIFY(!c->StripItemAt(c->PlotRect().bottomLeft() + QPoint(5, 5)));
}

void AnnotationStripTest::textIsTheLongestThatFits_data() {
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("widthOf"); // the room is this text's width, plus `extra` pixels
    QTest::addColumn<int>("extra");
    QTest::addColumn<QString>("shown");
    const QStringList forms{QStringLiteral("Address 0x50 write"), QStringLiteral("W 0x50"),
                            QStringLiteral("W")};
    QTest::newRow("just the full one") << forms << forms[0] << 0 << forms[0];
    QTest::newRow("a shorter one") << forms << forms[1] << 3 << forms[1];
    QTest::newRow("the shortest") << forms << QStringLiteral("Wx") << 0 << forms[2];
    QTest::newRow("longest fitting, in any order")
        << QStringList{QStringLiteral("ab"), QStringLiteral("abcdefghijklmnop"),
                       QStringLiteral("abcd")}
        << QStringLiteral("abcde") << 0 << QStringLiteral("abcd");
    QTest::newRow("cut short") << QStringList{QStringLiteral("frame error")}
                               << QStringLiteral("frame") << 0 << QStringLiteral("fra…");
    QTest::newRow("no room") << forms << QString() << 2 << QString();
    QTest::newRow("no texts") << QStringList() << QStringLiteral("Wide enough") << 0 << QString();
}

void AnnotationStripTest::textIsTheLongestThatFits() {
    QFETCH(QStringList, texts);
    QFETCH(QString, widthOf);
    QFETCH(int, extra);
    QFETCH(QString, shown);
    const QFontMetrics fm{QFont()};
    const QString text = chart::StripText(texts, fm, fm.horizontalAdvance(widthOf) + extra);
    if (shown.endsWith(QChar(0x2026)))
        QVERIFY2(text.endsWith(QChar(0x2026)) && text.size() >= 3 &&
                     texts.front().startsWith(text.chopped(1)),
                 qPrintable(text));
    else
        QCOMPARE(text, shown);
}

void AnnotationStripTest::itemsUnderThePointAndTheirToolTips() {
    auto c = MakeShownChart(true);
    QVERIFY(c);
    c->SetStrip(TwoRows());
    c->RedrawNow();
    const QRect strip = c->StripRect();
    const int rowHeight = strip.height() / 2;
    const auto at = [&](double value, int row) {
        return QPoint(c->BottomAxis().AxisValueToPixel(value),
                      strip.top() + row * rowHeight + rowHeight / 2);
    };
    using Hit = std::optional<std::pair<int, std::size_t>>;
    QCOMPARE(c->StripItemAt(at(30, 0)), Hit(std::make_pair(0, 0u)));
    QCOMPARE(c->StripItemAt(at(60, 0) + QPoint(1, 0)), Hit(std::make_pair(0, 1u)));
    QCOMPARE(c->StripItemAt(at(80, 1)), Hit(std::make_pair(1, 1u)));
    QCOMPARE(c->StripItemAt(at(30, 1)), Hit());
    QCOMPARE(c->StripItemAt(at(50, 0)), Hit());
    QCOMPARE(c->StripItemAt(at(30, 0) - QPoint(0, rowHeight)), Hit()); // in the plot

    const auto hover = [&](QPoint p) {
        QHelpEvent event(QEvent::ToolTip, p, c->mapToGlobal(p));
        QApplication::sendEvent(c.get(), &event);
    };
    hover(at(80, 1));
    QTRY_COMPARE(QToolTip::text(), QStringLiteral("frame error"));
    hover(at(50, 0));
    QTRY_VERIFY(!QToolTip::isVisible());
}

void AnnotationStripTest::svgPictureHoldsTheTexts() {
    auto c = MakeShownChart(true);
    QVERIFY(c);
    c->SetStrip(TwoRows());
    const QByteArray svg = c->PictureBytes(chart::TPictureFormat::Svg);
    for (const char* text : {"0x41 A", "UART", "bits"})
        QVERIFY2(svg.contains(text), text);
}

// A long decode zoomed out draws a band of merged items, its gaps kept; zoomed in, an item that
// began long before the view still covers it.
void AnnotationStripTest::manyItemsZoomedOutAndALongItemZoomedIn() {
    auto c = MakeShownChart(true);
    QVERIFY(c);
    constexpr int Count = 200000;
    TStripRow bytes{QStringLiteral("bytes"), {}};
    TStripRow frames{QStringLiteral("frames"), {{0, 100, {QStringLiteral("frame")}, 4}}};
    for (int i = 0; i < Count; ++i) {
        const double start = 100.0 * i / Count;
        // A pause from 40 to 50 with one break at 45.
        if (start == 45)
            bytes.Items.push_back({start, start, {QStringLiteral("break")}, 0});
        else if (start < 40 || start >= 50)
            bytes.Items.push_back({start, start + 30.0 / Count, {QStringLiteral("0x55")}, 0});
        if (i % 1000 == 0)
            frames.Items.push_back({start + 1, start + 1, {QStringLiteral("mark")}, 2});
    }
    c->SetStrip({bytes, frames});
    QImage image = Render(*c);
    QRect strip = c->StripRect();
    const int rowHeight = strip.height() / 2;
    const int mid = strip.top() + rowHeight / 2;
    const auto x = [&](double v) { return c->BottomAxis().AxisValueToPixel(v); };
    const auto marked = [&](int from, int to) {
        int n = 0;
        for (int column = from; column <= to; ++column)
            n += QColor(image.pixel(column, mid)).lightness() < 200 ? 1 : 0;
        return n;
    };
    QCOMPARE(marked(x(20), x(39)), x(39) - x(20) + 1);
    QCOMPARE(marked(x(51), x(99)), x(99) - x(51) + 1);
    QCOMPARE(marked(x(41), x(49)), 1);
    QCOMPARE(marked(x(45), x(45)), 1);

    c->BottomAxis().SetMinimum(50);
    c->BottomAxis().SetMaximum(50.5);
    image = Render(*c);
    strip = c->StripRect();
    const std::set<int> frame =
        ColumnsWith(image, strip.top() + rowHeight, strip.bottom(), StripColor(4));
    QVERIFY2(int(frame.size()) > strip.width() / 2, qPrintable(QString::number(frame.size())));
}

QTEST_MAIN(AnnotationStripTest)
#include "annotation_strip_test.moc"
