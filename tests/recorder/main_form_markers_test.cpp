// Markers, readout and crosshair through the real window: mouse events on the chart, the title's
// text, the status line, and the picture on the screen compared with the chart's own image.

#include "chart/chart.h"
#include "controls/spin_edit.h"
#include "measure/markers.h"
#include "recorder/main_form.h"
#include "support/real_locale.h"
#include "support/recording_support.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpression>
#include <QtTest>

#include <memory>
#include <optional>

class MainFormMarkersTest : public recording_test::TWindowTest {
    Q_OBJECT

private:
    chart::TChart* Chart = nullptr;
    chart::TChartSeries* Series = nullptr;

    QString Title() const { return Chart->Title().Text().value(0); }
    QString Readout() const {
        return Form->findChild<QLabel*>(QStringLiteral("StatusPanel1"))->text();
    }

    // The time axis reads a quarter of a millisecond a pixel, so clicks land on exact times.
    int Column(double ms) const {
        return Chart->BottomAxis().StartPixel() + static_cast<int>(ms * 4);
    }
    QPoint At(double ms) const { return {Column(ms), Chart->PlotRect().center().y()}; }

    void Click(QPoint p, Qt::KeyboardModifiers keys = {}) {
        QCursor::setPos(Chart->mapToGlobal(p));
        QTest::mouseClick(Chart, Qt::LeftButton, keys, p);
    }
    void Move(QPoint p) {
        QCursor::setPos(Chart->mapToGlobal(p));
        QTest::mouseMove(Chart, p);
    }
    void PlaceMarkers(double t1, double t2) {
        Action("actSetMarker1")->setChecked(true);
        Click(At(t1));
        Action("actSetMarker2")->setChecked(true);
        Click(At(t2));
    }

    // What the window shows now, and what it must show: the chart's image with the crosshair at
    // `cross` drawn over it, or nothing over it.
    QImage Screen() const { return Chart->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QImage Expected(std::optional<QPoint> cross) const {
        QImage image = Chart->BackBuffer().convertToFormat(QImage::Format_RGB32);
        if (cross) {
            const QRect plot = Chart->PlotRect();
            QPainter p(&image);
            p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            p.setPen(QColor(255, 255, 0));
            p.drawLine(cross->x(), plot.top(), cross->x(), plot.bottom());
            p.drawLine(plot.left(), cross->y(), plot.right(), cross->y());
        }
        return image;
    }
    bool ShowsCross(std::optional<QPoint> cross) const {
        const QImage screen = Screen();
        return screen == Expected(cross);
    }

    // Columns of the chart's image with marker green in the middle row band of the plot.
    QList<int> GreenColumns() const {
        const QImage image = Chart->BackBuffer();
        const QRect plot = Chart->PlotRect();
        QList<int> columns;
        for (int x = 0; x < image.width(); ++x) {
            int green = 0;
            for (int y = plot.top(); y <= plot.bottom(); ++y)
                green += image.pixelColor(x, y) == QColor(0, 128, 0);
            if (green > 0)
                columns.append(x);
        }
        return columns;
    }

    // The window with a trace of 41 points, 1 ms apart, alternately low and high.
    void OpenWindow() {
        ShowNewWindow();
        Chart = Find<chart::TChart>("Chart");
        Series = Chart->Series(0);
        Chart->RedrawNow();
        Chart->BottomAxis().SetMaximum(Chart->BottomAxis().AxisLength() / 4.0);
        for (int i = 0; i <= 40; ++i)
            Series->AddPoint(i, i % 2);
        Chart->RedrawNow();
    }

private slots:
    void init() {
        NewSettingsFolder();
        OpenWindow();
    }
    void cleanup() { Form.reset(); }

    void readoutFollowsTheMarkers_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("crossTime");
        QTest::newRow("point") << QLocale::c() << QStringLiteral(" 2.5");
        QTest::newRow("comma") << QLocale(QLocale::Russian, QLocale::Russia)
                               << QStringLiteral(" 2,5");
        // The Arabic decimal separator U+066B, which no single byte holds.
        QTest::newRow("arabic separator")
            << QLocale(QLocale::Pashto, QLocale::Afghanistan) << QStringLiteral(" 2\u066B5");
    }
    // Under the user's locale, in which the window starts.
    void readoutFollowsTheMarkers() {
        QFETCH(QLocale, locale);
        QFETCH(QString, crossTime);
        const test_support::TRealLocale real(locale);
        OpenWindow();
        // The crosshair's level and time, each with at most three decimals.
        Action("actViewCursor")->trigger();
        Move(At(2.5));
        QVERIFY2(Readout().endsWith(crossTime), qPrintable(Readout()));
        const QString separator = QRegularExpression::escape(locale.decimalPoint());
        QVERIFY2(QRegularExpression(QStringLiteral("^0(%1[0-9]{1,3})? ").arg(separator))
                     .match(Readout())
                     .hasMatch(),
                 qPrintable(Readout()));
        Action("actViewCursor")->trigger();

        Action("actViewMarkers")->trigger();
        QVERIFY(Chart->Title().Visible());
        QVERIFY(Action("actSetMarker1")->isEnabled());

        // No marker button down: the readout is rebuilt with the same times.
        Click(At(5));
        QCOMPARE(Title(), measure::MarkerReadout(0, 0));

        PlaceMarkers(1.5, 3.75);
        QCOMPARE(Title(), measure::MarkerReadout(1.5, 3.75));
        QVERIFY(!Action("actSetMarker1")->isChecked()); // one button down at a time

        PlaceMarkers(2, 1);
        QCOMPARE(Title(), measure::MarkerReadout(2, 1));

        // Hidden, the markers keep still and keep their buttons.
        Action("actViewMarkers")->trigger();
        Click(At(7));
        QVERIFY(!Chart->Title().Visible());
        QVERIFY(!Action("actSetMarker2")->isEnabled());
        Action("actViewMarkers")->trigger();
        QVERIFY(Action("actSetMarker2")->isChecked());
        QCOMPARE(Title(), measure::MarkerReadout(2, 1));
    }

    void markerLinesStandWhereTheAxisPutsThem() {
        Action("actViewMarkers")->trigger();
        PlaceMarkers(1.5, 3.75);
        QCOMPARE(GreenColumns(), (QList<int>{Column(1.5), Column(3.75)}));

        // Scrolled past marker 1: its line stands left of the plot, where the axis puts it.
        Chart->BottomAxis().SetMinimum(2.5);
        Chart->RedrawNow();
        const int off = Series->ValueToPixelX(1.5);
        QVERIFY(off < Chart->PlotRect().left());
        QCOMPARE(GreenColumns(), (QList<int>{off, Series->ValueToPixelX(3.75)}));

        // Times that no pixel can hold are not drawn in the middle of the plot instead.
        Series->AddPoint(1e6 + 5e-7, 0);
        Chart->BottomAxis().SetRange(1e6, 1e6 + 1e-6);
        Chart->RedrawNow();
        QCOMPARE(GreenColumns(), QList<int>{});
    }

    // The release of a zoom drag is a click too: the marker goes to the time under the release
    // point as the axes were before the zoom.
    void zoomReleasePlacesTheMarkerBeforeTheZoom() {
        Action("actViewMarkers")->trigger();
        Action("actSetMarker1")->setChecked(true);
        const QPoint from = At(10) - QPoint(0, 30), to = At(30) + QPoint(0, 30);
        QTest::mousePress(Chart, Qt::LeftButton, {}, from);
        QTest::mouseMove(Chart, to);
        QCursor::setPos(Chart->mapToGlobal(to));
        QTest::mouseRelease(Chart, Qt::LeftButton, {}, to);
        QVERIFY(Chart->Zoomed());
        QVERIFY(Title().startsWith(QStringLiteral("t1=30 мс   t2=0 мс")));
    }

    // After every step the screen shows the chart's picture with the crosshair where the
    // window believes it is, never a crosshair left behind.
    void crossHairAlwaysMatchesTheScreen() {
        Action("actViewCursor")->trigger();
        const QPoint p1 = At(10) + QPoint(0, 7), p2 = At(20) - QPoint(0, 5);

        Move(p1);
        QVERIFY(ShowsCross(p1));
        QVERIFY(Readout().endsWith(QStringLiteral(" 10")));
        Move(p2);
        QVERIFY(ShowsCross(p2));

        // Onto the margin: the crosshair goes, the readout stays.
        const QString last = Readout();
        Move(QPoint(Chart->PlotRect().left() - 3, p2.y()));
        QVERIFY(ShowsCross(std::nullopt));
        QCOMPARE(Readout(), last);
        // The right and bottom edges are outside the plot.
        Move(QPoint(Chart->PlotRect().right(), p2.y()));
        QVERIFY(ShowsCross(std::nullopt));
        Move(QPoint(p2.x(), Chart->PlotRect().bottom()));
        QVERIFY(ShowsCross(std::nullopt));

        // An expose copies the image and keeps the crosshair on it.
        Move(p1);
        Chart->update();
        QVERIFY(ShowsCross(p1));
        Move(p2);
        QVERIFY(ShowsCross(p2));

        // A sweep's repaint between two moves wipes it; the next move draws only the new one.
        Series->RequestRedraw();
        QSignalSpy painted(Chart, &chart::TChart::painted);
        QVERIFY(painted.wait(1000));
        Move(p1);
        QVERIFY(ShowsCross(p1));

        // The same with no point on screen, where the series draws nothing.
        Series->ClearPoints();
        Chart->RedrawNow();
        Move(p2);
        QVERIFY(ShowsCross(p2));

        // Leaving the chart takes the crosshair along.
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(Chart, &leave);
        QVERIFY(ShowsCross(std::nullopt));

        // Switched off: redrawn without it, and the next move empties the readout.
        Move(p1);
        Action("actViewCursor")->trigger();
        QVERIFY(ShowsCross(std::nullopt));
        Move(p2);
        QVERIFY(ShowsCross(std::nullopt));
        QCOMPARE(Readout(), QString());
    }

    void keysPlaceAndReleaseMarkers() {
        Action("actViewMarkers")->trigger();
        Action("actSetMarker1")->setChecked(true);
        QCursor::setPos(Chart->mapToGlobal(At(5)));

        // Typing into a field is typing, wherever the pointer is.
        QLineEdit* field =
            Form->findChild<controls::TSpinEdit*>(QStringLiteral("spedGridPeriod"))->Editor();
        field->setFocus();
        QTest::keyClick(field, Qt::Key_1);
        QTest::keyClick(field, Qt::Key_Escape);
        QVERIFY(Title().startsWith(QStringLiteral("t1=0")));
        QVERIFY(Action("actSetMarker1")->isChecked());

        Click(At(6));
        QVERIFY(Chart->hasFocus());
        QCursor::setPos(Chart->mapToGlobal(At(5)));
        QTest::keyClick(Chart, Qt::Key_2);
        QVERIFY(Title().startsWith(QStringLiteral("t1=6 мс   t2=5 мс")));
        QTest::keyClick(Chart, Qt::Key_Escape);
        QVERIFY(!Action("actSetMarker1")->isChecked() && !Action("actSetMarker2")->isChecked());
    }
};

QTEST_MAIN(MainFormMarkersTest)
#include "main_form_markers_test.moc"
