// The fast line series must give exactly the pixels of the literal polyline, while handing the
// painter a number of segments bounded by the plot width.
#include "chart/chart.h"
#include "reference/reference_line_series.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <random>

using chart::TChart;

namespace {

struct Scene {
    int points = 50001;
    std::function<double(int, std::mt19937&)> level;
    double xMin = 0, xMax = 50001;
    bool invertLeft = false, invertBottom = false, axes = true;
    // Applied after the points are added (for data the owner rewrites in place).
    std::function<void(chart::TChartSeries&)> rewrite;
};

Scene MakeScene(int points, std::function<double(int, std::mt19937&)> level, double xMin = 0,
                double xMax = 50001) {
    Scene scene;
    scene.points = points;
    scene.level = std::move(level);
    scene.xMin = xMin;
    scene.xMax = xMax;
    return scene;
}

template <class Series> std::unique_ptr<TChart> MakeChart(const Scene& scene, Series** out) {
    auto c = std::make_unique<TChart>();
    c->resize(700, 300);
    c->SetColor(Qt::white);
    c->SetView3D(false);
    c->SetAxisVisible(scene.axes);
    c->BottomAxis().SetRange(scene.xMin, scene.xMax);
    c->BottomAxis().SetInverted(scene.invertBottom);
    c->LeftAxis().SetRange(-1, 2);
    c->LeftAxis().SetInverted(scene.invertLeft);
    auto* s = new Series(c.get());
    s->SetSeriesColor(Qt::red);
    std::mt19937 rng(2024);
    for (int i = 0; i < scene.points; ++i)
        s->AddPoint(i, scene.level(i, rng));
    if (scene.rewrite)
        scene.rewrite(*s);
    *out = s;
    return c;
}

QImage Draw(TChart& c) {
    QImage image(c.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    c.DrawChart(painter, QRect(QPoint(0, 0), c.size()));
    return image;
}

int RedPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixelColor(x, y) == QColor(Qt::red);
    return n;
}

double Toggle(int i, std::mt19937&) {
    return i & 1;
}
double Rare(int i, std::mt19937&) {
    return (i / 1000) & 1;
}
double RandomBit(int, std::mt19937& rng) {
    return static_cast<double>(rng() & 1u);
}
double RandomLevel(int, std::mt19937& rng) {
    return std::uniform_real_distribution<double>(-0.5, 1.5)(rng);
}

} // namespace

Q_DECLARE_METATYPE(Scene)

class FastLineTest : public QObject {
    Q_OBJECT
private slots:
    void samePixelsAsTheLiteralPolyline_data();
    void samePixelsAsTheLiteralPolyline();
};

void FastLineTest::samePixelsAsTheLiteralPolyline_data() {
    QTest::addColumn<Scene>("scene");
    QTest::addColumn<bool>("bounded");
    const double nan = std::numeric_limits<double>::quiet_NaN();

    QTest::newRow("toggle every sample") << MakeScene(50001, Toggle) << true;
    QTest::newRow("toggle every 1000 samples") << MakeScene(50001, Rare) << true;
    QTest::newRow("random bits") << MakeScene(50001, RandomBit) << true;
    QTest::newRow("random levels") << MakeScene(50001, RandomLevel) << true;
    QTest::newRow("fewer points than columns") << MakeScene(103, RandomBit, 0, 103) << true;
    Scene zoomed = MakeScene(50001, RandomLevel, 20000.3, 20100.7);
    QTest::newRow("zoomed, line enters and leaves") << zoomed << true;
    Scene zoomedDense = MakeScene(50001, Toggle, 12345.6, 23456.7);
    QTest::newRow("zoomed, dense") << zoomedDense << true;
    Scene invertedLeft = MakeScene(50001, RandomBit);
    invertedLeft.invertLeft = true;
    QTest::newRow("inverted level axis") << invertedLeft << true;
    Scene invertedBoth = MakeScene(50001, RandomLevel, 1000.5, 30000.5);
    invertedBoth.invertLeft = invertedBoth.invertBottom = true;
    QTest::newRow("both axes inverted, zoomed") << invertedBoth << true;
    Scene farOut = MakeScene(50001, [nan](int i, std::mt19937& rng) {
        const double v = RandomLevel(i, rng);
        return i % 997 == 0 ? 1e300 : i % 1013 == 0 ? -1e300 : i % 1511 == 0 ? nan : v;
    });
    QTest::newRow("far-out and NaN levels") << farOut << true;
    Scene unordered = MakeScene(50001, RandomBit);
    unordered.rewrite = [](chart::TChartSeries& s) {
        for (int i = 100; i < 50000; i += 700)
            s.XValues().WriteValue(i, 50001 - i);
    };
    QTest::newRow("x rewritten out of order") << unordered << false;
    Scene noAxes = MakeScene(50001, Toggle);
    noAxes.axes = false;
    QTest::newRow("axes hidden") << noAxes << true;
}

void FastLineTest::samePixelsAsTheLiteralPolyline() {
    QFETCH(Scene, scene);
    QFETCH(bool, bounded);
    chart::TFastLineSeries* fast = nullptr;
    chart_reference::TReferenceLineSeries* reference = nullptr;
    auto fastChart = MakeChart(scene, &fast);
    auto referenceChart = MakeChart(scene, &reference);
    const QImage expected = Draw(*referenceChart);
    const QImage actual = Draw(*fastChart);
    QVERIFY(RedPixels(expected) > 100);
    QCOMPARE(actual, expected);
    if (bounded) {
        const int columns = fastChart->PlotRect().width() + 1;
        QVERIFY2(fast->SegmentCount() <= 4 * columns + 2,
                 qPrintable(QStringLiteral("%1 segments for %2 columns")
                                .arg(fast->SegmentCount())
                                .arg(columns)));
    }
}

QTEST_MAIN(FastLineTest)
#include "fast_line_test.moc"
