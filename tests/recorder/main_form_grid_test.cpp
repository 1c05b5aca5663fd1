#include "app/application.h"
#include "chart/chart.h"
#include "controls/slider.h"
#include "controls/spin_edit.h"
#include "recorder/main_form.h"
#include "support/real_locale.h"
#include "support/recording_support.h"

#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <QtTest>

#include <memory>

namespace {

// The grid pen's colour; nothing else in the plot is drawn in it.
const QRgb GridGray = qRgb(0x80, 0x80, 0x80);

QString Local(const QString& dotted) {
    return QString(dotted).replace(u'.', QLocale().decimalPoint());
}

} // namespace

class MainFormGridTest : public recording_test::TWindowTest {
    Q_OBJECT

private:
    chart::TChart* Chart() const { return Find<chart::TChart>("Chart"); }

    // Types into a field as the operator does; the focus stays in it.
    void Type(const char* name, const QString& dotted) const {
        QLineEdit* editor = Find<controls::TSpinEdit>(name)->Editor();
        editor->setFocus(Qt::MouseFocusReason);
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
        QTest::keyClicks(editor, Local(dotted));
    }

    void Click(const char* button) const {
        QTest::mouseClick(Find<QToolButton>(button), Qt::LeftButton);
    }

    // Moves the offset slider with the keyboard.
    void SetOffset(int percent) const {
        auto* slider = Find<controls::TSlider>("sldrGridOffset");
        slider->setFocus(Qt::TabFocusReason);
        QTest::keyClick(slider, Qt::Key_Home);
        for (int i = 0; i < percent; ++i)
            QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(slider->Value(), percent);
    }

    // Redraws the chart and returns the columns inside the plot where vertical grid lines stand,
    // found by colour on the rows around level 0.5, clear of the level grid lines.
    QList<int> GridColumns() const {
        chart::TChart* c = Chart();
        c->RedrawNow();
        const QImage& image = c->BackBuffer();
        const QRect plot = c->PlotRect();
        const int middle = c->LeftAxis().AxisValueToPixel(0.5);
        QList<int> columns;
        for (int x = plot.left() + 1; x < plot.right(); ++x) {
            for (int y = middle - 3; y <= middle + 3; ++y) {
                if (image.pixel(x, y) == GridGray) {
                    columns << x;
                    break;
                }
            }
        }
        return columns;
    }

    // The columns the time axis gives the values, those inside the plot's frame, as laid out by
    // the last GridColumns().
    QList<int> ColumnsOf(const QList<double>& values) const {
        const QRect plot = Chart()->PlotRect();
        QList<int> columns;
        for (double v : values) {
            const int x = Chart()->BottomAxis().AxisValueToPixel(v);
            if (x > plot.left() && x < plot.right())
                columns << x;
        }
        return columns;
    }

    // Texts of the error reports shown while a test ran; each is closed at once.
    QStringList ErrorReports;
    QTimer ErrorWatch;

private slots:
    void initTestCase() {
        ErrorWatch.setInterval(10);
        connect(&ErrorWatch, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                ErrorReports << box->text();
                box->reject();
            }
        });
        ErrorWatch.start();
    }

    void init() {
        ErrorReports.clear();
        NewSettingsFolder();
        ShowNewWindow();
    }

    void cleanup() {
        Form.reset();
        QCOMPARE(ErrorReports, QStringList());
    }

    void gridButtonSwitchesTheGrid() {
        QVERIFY(!Chart()->AxisVisible());
        Chart()->BottomAxis().SetRange(0, 10);
        Click("ToolButton7");
        QVERIFY(Chart()->AxisVisible());
        const QList<int> columns = GridColumns();
        QCOMPARE(columns, ColumnsOf({1, 2, 3, 4, 5, 6, 7, 8, 9}));
        Click("ToolButton7");
        QVERIFY(!Chart()->AxisVisible());
        QCOMPARE(GridColumns(), QList<int>());
    }

    void gridLinesStandAtTheGridTimes_data() {
        QTest::addColumn<QString>("period");
        QTest::addColumn<int>("offset");
        QTest::addColumn<double>("minimum");
        QTest::addColumn<double>("maximum");
        QTest::addColumn<QList<double>>("lines");
        QTest::newRow("1 ms") << "1" << 0 << 0.0 << 10.0
                              << QList<double>{1, 2, 3, 4, 5, 6, 7, 8, 9};
        QTest::newRow("1 ms, 50 %")
            << "1" << 50 << 0.0 << 10.0
            << QList<double>{0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8.5, 9.5};
        QTest::newRow("2.5 ms, 20 %")
            << "2.5" << 20 << 0.0 << 10.0 << QList<double>{0.5, 3, 5.5, 8};
        QTest::newRow("1 ms, 100 %")
            << "1" << 100 << 0.0 << 10.0 << QList<double>{1, 2, 3, 4, 5, 6, 7, 8, 9};
        QTest::newRow("zoomed to 2.3 .. 7.9")
            << "1" << 0 << 2.3 << 7.9 << QList<double>{3, 4, 5, 6, 7};
        QTest::newRow("from -2") << "1" << 0 << -2.0 << 2.0 << QList<double>{-1, 0, 1};
        QTest::newRow("from -1.99995") << "1" << 0 << -1.99995 << 2.0 << QList<double>{};
    }
    void gridLinesStandAtTheGridTimes() {
        QFETCH(QString, period);
        QFETCH(int, offset);
        QFETCH(double, minimum);
        QFETCH(double, maximum);
        QFETCH(QList<double>, lines);
        Type("spedGridPeriod", period);
        SetOffset(offset);
        Chart()->BottomAxis().SetRange(minimum, maximum);
        Click("ToolButton7");
        const QList<int> columns = GridColumns();
        QCOMPARE(columns, ColumnsOf(lines));
    }

    // 0.01 ms on 0..100 ms would take 10000 lines; the chart stops asking after 2001 labels and
    // records grid lines for the first 2000 of them, up to 19.99 ms.
    void tooFineAGridEndsAtTheChartsLimit() {
        Type("spedGridPeriod", QStringLiteral("0.01"));
        Chart()->BottomAxis().SetRange(0, 100);
        Click("ToolButton7");
        const QList<int> columns = GridColumns();
        QVERIFY(!columns.isEmpty());
        const int first = Chart()->PlotRect().left() + 1;
        const int last = Chart()->BottomAxis().AxisValueToPixel(19.99);
        QCOMPARE(columns.front(), first);
        QCOMPARE(columns.back(), last);
        QCOMPARE(columns.size(), last - first + 1);
    }

    // The chart saved as SVG under the user's locale, in which the window starts: the time labels
    // of a 0.25 ms grid with the locale's separator, and every label a number as the operator
    // writes it, never with the C library's comma before a blank.
    void pictureLabelsUnderTheUsersLocale_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("times");
        QTest::newRow("point") << QLocale::c() << QStringLiteral("0 0.25 0.5 0.75 1");
        QTest::newRow("comma") << QLocale(QLocale::Russian, QLocale::Russia)
                               << QStringLiteral("0 0,25 0,5 0,75 1");
    }
    void pictureLabelsUnderTheUsersLocale() {
        QFETCH(QLocale, locale);
        QFETCH(QString, times);
        const test_support::TRealLocale real(locale);
        ShowNewWindow();
        Find<controls::TSpinEdit>("spedGridPeriod")->SetValue(0.25L);
        Chart()->BottomAxis().SetRange(0, 1);
        Click("ToolButton7");
        const QString path = Path("chart.svg");
        Chart()->WritePictureFile(path, chart::TPictureFormat::Svg);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString svg = QString::fromUtf8(file.readAll());

        QStringList numbers;
        const QRegularExpression text(QStringLiteral(">(-?[0-9][^<>]*)</text>"));
        for (const QRegularExpressionMatch& m : text.globalMatch(svg))
            numbers << m.captured(1);
        const QString separator = QRegularExpression::escape(locale.decimalPoint());
        const QRegularExpression number(QStringLiteral("^-?[0-9]+(%1[0-9]+)?$").arg(separator));
        for (const QString& label : numbers)
            QVERIFY2(number.match(label).hasMatch(), qPrintable(numbers.join(u'|')));
        QVERIFY2(numbers.join(u' ').contains(times), qPrintable(numbers.join(u'|')));
    }

    // While the period field is being retyped and holds no number, the grid uses its lower limit,
    // which a confirmed sample period raised to that period.
    void emptyGridPeriodUsesItsLowerLimit() {
        Type("spedSamplePeriod", QStringLiteral("0.25"));
        QTest::keyClick(Find<controls::TSpinEdit>("spedSamplePeriod")->Editor(), Qt::Key_Return);
        const double period =
            static_cast<double>(Find<controls::TSpinEdit>("spedGridPeriod")->MinValue());
        QVERIFY(period > 0.2 && period < 0.3);
        Chart()->BottomAxis().SetRange(0, 2);
        Click("ToolButton7");
        Type("spedGridPeriod", QString());
        QCOMPARE(Find<controls::TSpinEdit>("spedGridPeriod")->Text(), QString());
        QList<double> lines;
        for (int m = 1; m * period < 2; ++m)
            lines << m * period;
        const QList<int> columns = GridColumns();
        QCOMPARE(columns, ColumnsOf(lines));
    }

    void offsetDragShowsEachValueAndRedrawsOnRelease() {
        auto* slider = Find<controls::TSlider>("sldrGridOffset");
        auto* caption = Find<QLabel>("lblGridOffset");
        QCOMPARE(caption->text(), QStringLiteral("Смещение сетки"));
        Chart()->BottomAxis().SetRange(0, 10);
        Click("ToolButton7");
        Chart()->RedrawNow();
        QCoreApplication::processEvents();
        QSignalSpy requests(Chart(), &chart::TChart::redrawRequested);
        QSignalSpy paints(Chart(), &chart::TChart::painted);

        const int y = slider->height() / 2;
        QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(5, y));
        QSet<int> seen;
        for (int x = 9; x <= 45; x += 4) {
            QTest::mouseMove(slider, QPoint(x, y));
            QCoreApplication::processEvents();
            seen << slider->Value();
            QCOMPARE(caption->text(), QStringLiteral("Смещение сетки = %1%").arg(slider->Value()));
        }
        QVERIFY(seen.size() >= 8);
        QCOMPARE(requests.count(), 0);
        QCOMPARE(paints.count(), 0);

        QTest::mouseMove(slider, QPoint(slider->width() + 20, y));
        QCOMPARE(caption->text(), QStringLiteral("Смещение сетки = 100%"));
        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() + 20, y));
        QCOMPARE(requests.count(), 1);
        QCOMPARE(paints.count(), 1);
    }

    // Zooms and scrolls act on time only: the level axis goes back to -1..2 from wherever the
    // gesture or the mouse wheel left it, without an error report.
    void levelAxisReturnsAfterZoomAndScroll_data() {
        QTest::addColumn<int>("wheelNotches");
        QTest::addColumn<QString>("gesture");
        QTest::newRow("zoom dragged on the time axis") << 0 << "axis zoom";
        QTest::newRow("scroll from above 2") << -40 << "scroll";
        QTest::newRow("scroll from below -1") << 40 << "scroll";
    }
    void levelAxisReturnsAfterZoomAndScroll() {
        QFETCH(int, wheelNotches);
        QFETCH(QString, gesture);
        chart::TChart* c = Chart();
        c->BottomAxis().SetRange(0, 10);
        Click("ToolButton7");
        c->RedrawNow();
        if (wheelNotches != 0) {
            const QPointF at = c->rect().center();
            QWheelEvent wheel(at, c->mapToGlobal(at), QPoint(), QPoint(0, 120 * wheelNotches),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(c, &wheel);
            QVERIFY(c->LeftAxis().Minimum() > 2 || c->LeftAxis().Maximum() < -1);
        }
        const QRect plot = c->PlotRect();
        if (gesture == "scroll") {
            const QPoint from = plot.center();
            QTest::mousePress(c, Qt::RightButton, {}, from);
            QTest::mouseMove(c, from + QPoint(20, 10));
            QTest::mouseRelease(c, Qt::RightButton, {}, from + QPoint(20, 10));
            QVERIFY(c->BottomAxis().Minimum() < 0);
        } else {
            // Dragged on the time axis's band, below the plot, the zoom sends the level axis
            // below -1.
            const QPoint from(plot.center().x(), plot.bottom() + 4);
            QTest::mousePress(c, Qt::LeftButton, {}, from);
            QTest::mouseMove(c, from + QPoint(40, 20));
            QTest::mouseRelease(c, Qt::LeftButton, {}, from + QPoint(40, 20));
            QVERIFY(c->Zoomed());
            QVERIFY(c->BottomAxis().Minimum() > 0);
        }
        QCOMPARE(ErrorReports, QStringList());
        QCOMPARE(c->LeftAxis().Minimum(), -1.0);
        QCOMPARE(c->LeftAxis().Maximum(), 2.0);
    }

    // A trace at level 1 lies in the upper third of the plot, and in the lower third once the
    // level axis is inverted.
    void invertButtonTurnsTheLevelAxis() {
        chart::TChart* c = Chart();
        QVERIFY(!c->LeftAxis().Inverted());
        c->BottomAxis().SetRange(0, 10);
        c->Series(0)->AddPoint(0, 1);
        c->Series(0)->AddPoint(10, 1);
        const auto traceRow = [c] {
            c->RedrawNow();
            const QRect plot = c->PlotRect();
            for (int y = plot.top() + 1; y < plot.bottom(); ++y)
                if (c->BackBuffer().pixel(plot.center().x(), y) == qRgb(255, 0, 0))
                    return y - plot.top();
            return -1;
        };
        const int upright = traceRow();
        const int height = c->PlotRect().height();
        QVERIFY(upright > 0 && upright < height / 2);
        Click("tbtInvertLeftAxis");
        QVERIFY(c->LeftAxis().Inverted());
        QVERIFY(traceRow() > height / 2);
        Click("tbtInvertLeftAxis");
        QVERIFY(!c->LeftAxis().Inverted());
        QCOMPARE(traceRow(), upright);
    }
};

int main(int argc, char* argv[]) {
    app::TApplication application(argc, argv);
    MainFormGridTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_form_grid_test.moc"
