#include "controls/errors.h"
#include "controls/slider.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace controls;

namespace {

// A shown slider whose ruler is exactly 100 px long, so that with the range 0..100 the thumb's
// leading edge sits at the pixel of its value; events are logged as "change:<value>", "changed".
struct SliderFixture {
    TSlider slider;
    QStringList log;

    explicit SliderFixture(Qt::Orientation orientation = Qt::Horizontal) {
        slider.SetOrientation(orientation);
        slider.resize(orientation == Qt::Horizontal ? QSize(111, 40) : QSize(40, 111));
        slider.OnChange = [this](QObject* sender) {
            QCOMPARE(sender, &slider);
            log << "change:" + QString::number(slider.Value());
        };
        slider.OnChanged = [this](QObject*) { log << "changed"; };
        slider.show();
        slider.activateWindow();
    }
    // The point over the thumb's centre when the thumb stands at the value.
    QPoint At(int value) const {
        if (slider.Orientation() == Qt::Horizontal)
            return {value + 5, 20};
        return {20, 110 - (value + 5)};
    }
};

} // namespace

class SliderTest : public QObject {
    Q_OBJECT

private slots:
    void defaults() {
        TSlider slider;
        QCOMPARE(slider.MinValue(), 0);
        QCOMPARE(slider.MaxValue(), 100);
        QCOMPARE(slider.Increment(), 10);
        QCOMPARE(slider.Value(), 0);
        QCOMPARE(slider.Orientation(), Qt::Horizontal);
        QCOMPARE(slider.Options(), TSliderOptions(soShowFocus) | soShowPoints | soSmooth);
    }
    void writingValueLimitsAndReportsChanges() {
        SliderFixture f;
        f.slider.SetValue(150);
        f.slider.SetValue(100);
        f.slider.SetValue(-3);
        f.slider.SetValue(60);
        f.slider.SetMaxValue(50);
        f.slider.SetMinValue(55);
        QCOMPARE(f.log,
                 (QStringList{"change:100", "change:0", "change:60", "change:50", "change:55"}));
    }
    void incrementOutsideTheRangeIsRefused_data() {
        QTest::addColumn<int>("increment");
        QTest::addColumn<bool>("refused");
        QTest::newRow("0") << 0 << true;
        QTest::newRow("-1") << -1 << true;
        QTest::newRow("1") << 1 << false;
        QTest::newRow("100") << 100 << false;
        QTest::newRow("101") << 101 << true;
    }
    void incrementOutsideTheRangeIsRefused() {
        QFETCH(int, increment);
        QFETCH(bool, refused);
        TSlider slider;
        try {
            slider.SetIncrement(increment);
            QVERIFY(!refused);
            QCOMPARE(slider.Increment(), increment);
        } catch (const EInvalidValue& error) {
            QVERIFY(refused);
            QCOMPARE(QString(error.what()), "Value must be between 1 and 100");
            QCOMPARE(slider.Increment(), 10);
        }
    }
    void storedIncrementIsTakenWhileLoading() {
        SliderFixture f;
        f.slider.SetLoading(true);
        f.slider.SetIncrement(0);
        f.slider.SetLoading(false);
        QCOMPARE(f.slider.Increment(), 0);
        // A zero step cannot move the thumb; it steps by 1 rather than divide by zero.
        QTest::keyClick(&f.slider, Qt::Key_Right);
        QCOMPARE(f.slider.Value(), 1);
    }
    void draggingReportsEachValueAndFinishesOnce() {
        SliderFixture f;
        QVERIFY(QTest::qWaitForWindowActive(&f.slider));
        QStringList expected;
        QTest::mousePress(&f.slider, Qt::LeftButton, {}, f.At(0));
        for (int value = 3; value <= 30; value += 3) {
            QTest::mouseMove(&f.slider, f.At(value));
            QTest::mouseMove(&f.slider, f.At(value) + QPoint(0, 1)); // no new value
            expected << "change:" + QString::number(value);
        }
        QCOMPARE(f.log, expected);
        QTest::mouseRelease(&f.slider, Qt::LeftButton, {}, f.At(30));
        QCOMPARE(f.log, expected << "changed");
        QCOMPARE(f.slider.Value(), 30);
        QVERIFY(f.slider.hasFocus());
    }
    void draggingWithoutSmoothSnapsToIncrements() {
        SliderFixture f;
        f.slider.SetOptions(soShowFocus);
        QVERIFY(QTest::qWaitForWindowActive(&f.slider));
        QTest::mousePress(&f.slider, Qt::LeftButton, {}, f.At(0));
        QTest::mouseMove(&f.slider, f.At(34));
        QCOMPARE(f.slider.Value(), 30);
        QTest::mouseMove(&f.slider, f.At(36));
        QCOMPARE(f.slider.Value(), 40);
        QTest::mouseMove(&f.slider, f.At(500)); // beyond the end of the ruler
        QCOMPARE(f.slider.Value(), 100);
        QTest::mouseRelease(&f.slider, Qt::LeftButton, {}, f.At(500));
    }
    void trackPressStepsAtOnceThenEvery400ms() {
        SliderFixture f;
        QVERIFY(QTest::qWaitForWindowActive(&f.slider));
        QElapsedTimer clock;
        clock.start();
        QTest::mousePress(&f.slider, Qt::LeftButton, {}, f.At(90));
        QCOMPARE(f.slider.Value(), 10);
        QTest::qWait(300);
        QCOMPARE(f.slider.Value(), 10);
        QTRY_COMPARE_WITH_TIMEOUT(f.slider.Value(), 20, 1000);
        QVERIFY2(clock.elapsed() >= 400, qPrintable(QString::number(clock.elapsed())));
        QTest::mouseRelease(&f.slider, Qt::LeftButton, {}, f.At(90));
        QTest::qWait(500);
        QCOMPARE(f.log, (QStringList{"change:10", "change:20", "changed"}));
    }
    void trackPressStopsWhenTheThumbReachesThePointer() {
        SliderFixture f;
        QVERIFY(QTest::qWaitForWindowActive(&f.slider));
        QTest::mousePress(&f.slider, Qt::LeftButton, {}, QPoint(25, 20));
        QTRY_COMPARE_WITH_TIMEOUT(f.slider.Value(), 20, 1000); // thumb now covers x = 20..30
        QTest::qWait(900);
        QCOMPARE(f.slider.Value(), 20);
        QTest::mouseRelease(&f.slider, Qt::LeftButton, {}, QPoint(25, 20));
        QCOMPARE(f.log.back(), "changed");
    }
    void verticalTrackPressesStepTowardsThePointer() {
        SliderFixture f(Qt::Vertical);
        f.slider.SetValue(50);
        QVERIFY(QTest::qWaitForWindowActive(&f.slider));
        QTest::mouseClick(&f.slider, Qt::LeftButton, {}, f.At(95)); // above the thumb
        QCOMPARE(f.slider.Value(), 60);
        QTest::mouseClick(&f.slider, Qt::LeftButton, {}, f.At(5)); // below it
        QCOMPARE(f.slider.Value(), 50);
    }
    void keysStepAndAlwaysFinish_data() {
        QTest::addColumn<Qt::Orientation>("orientation");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("handled");
        const auto h = Qt::Horizontal, v = Qt::Vertical;
        QTest::newRow("Right at 100 keeps 100") << h << 100 << int(Qt::Key_Right) << 100 << true;
        QTest::newRow("Right from 0") << h << 0 << int(Qt::Key_Right) << 10 << true;
        QTest::newRow("Right from 15") << h << 15 << int(Qt::Key_Right) << 30 << true;
        QTest::newRow("Left from 15") << h << 15 << int(Qt::Key_Left) << 10 << true;
        QTest::newRow("Right from 25") << h << 25 << int(Qt::Key_Right) << 30 << true;
        QTest::newRow("Left from 25") << h << 25 << int(Qt::Key_Left) << 10 << true;
        QTest::newRow("Left at 0") << h << 0 << int(Qt::Key_Left) << 0 << true;
        QTest::newRow("Home") << h << 50 << int(Qt::Key_Home) << 0 << true;
        QTest::newRow("End") << h << 50 << int(Qt::Key_End) << 100 << true;
        QTest::newRow("Up, horizontal") << h << 50 << int(Qt::Key_Up) << 50 << false;
        QTest::newRow("Up, vertical") << v << 50 << int(Qt::Key_Up) << 60 << true;
        QTest::newRow("Down, vertical") << v << 50 << int(Qt::Key_Down) << 40 << true;
        QTest::newRow("Right, vertical") << v << 50 << int(Qt::Key_Right) << 50 << false;
    }
    void keysStepAndAlwaysFinish() {
        QFETCH(Qt::Orientation, orientation);
        QFETCH(int, start);
        QFETCH(int, key);
        QFETCH(int, value);
        QFETCH(bool, handled);
        SliderFixture f(orientation);
        f.slider.SetValue(start);
        f.log.clear();
        QTest::keyClick(&f.slider, Qt::Key(key));
        QCOMPARE(f.slider.Value(), value);
        QStringList expected;
        if (value != start)
            expected << "change:" + QString::number(value);
        if (handled)
            expected << "changed";
        QCOMPARE(f.log, expected);
    }
    void doubleClickStartsNoAction() {
        SliderFixture f;
        QVERIFY(QTest::qWaitForWindowActive(&f.slider));
        // The platform delivers press, release, double click, release: only the first press steps.
        QTest::mouseDClick(f.slider.windowHandle(), Qt::LeftButton, {}, f.At(90));
        QCOMPARE(f.log, (QStringList{"change:10", "changed"}));
    }
    void losingTheActivationEndsTheDrag() {
        SliderFixture f;
        QVERIFY(QTest::qWaitForWindowActive(&f.slider));
        QTest::mousePress(&f.slider, Qt::LeftButton, {}, f.At(0));
        QTest::mouseMove(&f.slider, f.At(10));
        QWidget messageBox;
        messageBox.show();
        messageBox.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&messageBox));
        QCOMPARE(f.log, (QStringList{"change:10", "changed"}));
        QTest::mouseMove(&f.slider, f.At(40)); // the button is up by now
        QCOMPARE(f.slider.Value(), 10);
    }
};

QTEST_MAIN(SliderTest)
#include "slider_test.moc"
