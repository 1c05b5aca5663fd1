#include "chart/chart.h"
#include "controls/spin_edit.h"
#include "recorder/main_form.h"
#include "support/recording_support.h"

#include <QtTest>

class MainFormChartTest : public recording_test::TWindowTest {
    Q_OBJECT

private:
    chart::TChart* Chart() const { return Find<chart::TChart>("Chart"); }

    // Types a sweep duration and leaves the field, as the operator does.
    void ConfirmDeflectTime(const QString& dotted) const {
        recording_test::Confirm(Find<controls::TSpinEdit>("spedDeflectTime"), dotted);
    }

private slots:
    void init() {
        NewSettingsFolder();
        ShowNewWindow();
    }
    void cleanup() { Form.reset(); }

    void chartStartsWithTheRecordersSettings() {
        chart::TChart* c = Chart();
        QCOMPARE(c->Color(), QColor(Qt::white));
        QVERIFY(!c->AxisVisible());
        QVERIFY(!c->View3D());
        QVERIFY(!c->Title().Visible());
        QCOMPARE(c->Title().Text(), QStringList{QStringLiteral("t1=0     t2=0     dt=0     f=?")});
        const chart::TChartAxis& bottom = c->BottomAxis();
        QVERIFY(!bottom.Automatic());
        QCOMPARE(bottom.Minimum(), 0.0);
        QCOMPARE(bottom.Increment(), 1.0);
        QCOMPARE(bottom.Title().Caption(), QStringLiteral("Время, мс "));
        const chart::TChartAxis& left = c->LeftAxis();
        QVERIFY(!left.Automatic());
        QCOMPARE(left.Minimum(), -1.0);
        QCOMPARE(left.Maximum(), 2.0);
        QCOMPARE(left.Increment(), 1.0);
        QVERIFY(!c->TopAxis().Automatic() && !c->RightAxis().Automatic());
        QCOMPARE(c->DepthAxis().Minimum(), -0.5);
        QCOMPARE(c->DepthAxis().Maximum(), 0.5);
        QCOMPARE(c->SeriesCount(), 1);
        auto* series = dynamic_cast<chart::TFastLineSeries*>(c->Series(0));
        QVERIFY(series);
        QCOMPARE(series->objectName(), QStringLiteral("Series1"));
        QCOMPARE(series->SeriesColor(), QColor(Qt::red));
        QCOMPARE(series->LinePen().Color(), QColor(Qt::red));
        QCOMPARE(series->XValues().Order(), chart::loAscending);
        QCOMPARE(series->YValues().Order(), chart::loNone);
    }

    void timingSetsTheTimeAxisMaximum() {
        ConfirmDeflectTime(QStringLiteral("0.5"));
        QVERIFY(Form->SweepLength() > 103);
        QCOMPARE(static_cast<double>(Form->TimeAxisMaximum()), Chart()->BottomAxis().Maximum());
        QVERIFY(Chart()->BottomAxis().Maximum() > 400);
        QCOMPARE(Chart()->BottomAxis().Minimum(), 0.0);
    }

    void zoomedAxisAboveTheNewSweepGoesBackToZero() {
        ConfirmDeflectTime(QStringLiteral("0.5"));
        // As after a zoom into the end of a long sweep.
        Chart()->BottomAxis().SetRange(300, 400);
        ConfirmDeflectTime(QStringLiteral("0.1"));
        QCOMPARE(Chart()->BottomAxis().Minimum(), 0.0);
        QVERIFY(Chart()->BottomAxis().Maximum() < 300);
        QCOMPARE(static_cast<double>(Form->TimeAxisMaximum()), Chart()->BottomAxis().Maximum());
        // A minimum below the new end stays where the operator put it.
        Chart()->BottomAxis().SetRange(10, 20);
        ConfirmDeflectTime(QStringLiteral("0.05"));
        QCOMPARE(Chart()->BottomAxis().Minimum(), 10.0);
    }

    void crossHairCursorSurvivesAMouseMove() {
        Form->findChild<QAction*>(QStringLiteral("actViewCursor"))->trigger();
        QTest::mouseMove(Chart(), Chart()->rect().center());
        QCOMPARE(Chart()->cursor().shape(), Qt::CrossCursor);
    }
};

QTEST_MAIN(MainFormChartTest)
#include "main_form_chart_test.moc"
