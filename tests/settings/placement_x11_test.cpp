// The window's placement saved at close and restored at the next first show on a real X server,
// framed by a window manager (TALVIR_WINDOW_MANAGER=1) or not: the window comes back exactly
// where it was, frame and contents.

#include "recorder/main_form.h"
#include "support/recording_support.h"

#include <QWindow>
#include <QtTest>

using recorder::TMainForm;

class PlacementX11Test : public recording_test::TWindowTest {
    Q_OBJECT

private:
    const bool Framed = qEnvironmentVariableIntValue("TALVIR_WINDOW_MANAGER") == 1;

    // The frame as the X server has it now. QWidget::frameGeometry() keeps the frame it saw
    // last, and a window manager that frames the window without moving its contents gives it
    // no cause to look again.
    static QRect Frame(const TMainForm& form) { return form.windowHandle()->frameGeometry(); }

    // A new window, shown, and framed where a window manager frames it.
    void ShowSettled() {
        ShowNewWindow();
        // A window manager frames the window some time after it is mapped.
        if (Framed)
            QVERIFY(QTest::qWaitFor([&] { return Frame(*Form) != Form->geometry(); }, 20000));
    }

private slots:
    void initTestCase() { QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb")); }
    void init() { NewSettingsFolder(); }
    void cleanup() { Form.reset(); }

    void saveAndRestoreKeepThePlace() {
        QRect frame;
        QRect contents;
        {
            ShowSettled();
            TMainForm& form = *Form;
            form.move(150, 130);
            form.resize(700, 420);
            QVERIFY(QTest::qWaitFor([&] {
                return Frame(form).topLeft() == QPoint(150, 130) && form.size() == QSize(700, 420);
            }));
            frame = Frame(form);
            contents = form.geometry();
            form.close();
        }
        ShowSettled();
        TMainForm& form = *Form;
        (void)QTest::qWaitFor([&] { return Frame(form) == frame; }, 2000);
        QCOMPARE(Frame(form), frame);
        QCOMPARE(form.geometry(), contents);
    }

    // A placement the screen can't hold: X would make the window 32767 pixels square, its
    // controls far beyond the screen's edge.
    void placementTooLargeForTheScreenIsFitted() {
        QFile ini(WindowIniPath());
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[TMainForm]\nNormPos=-200,-300,100000,100000\n");
        ini.close();
        ShowSettled();
        TMainForm& form = *Form;
        const QRect area = form.screen()->availableGeometry();
        (void)QTest::qWaitFor([&] { return area.contains(Frame(form)); }, 2000);
        QVERIFY2(area.contains(Frame(form)), qPrintable(QStringLiteral("the window at %1,%2 %3x%4")
                                                            .arg(Frame(form).left())
                                                            .arg(Frame(form).top())
                                                            .arg(Frame(form).width())
                                                            .arg(Frame(form).height())));
    }
};

QTEST_MAIN(PlacementX11Test)

#include "placement_x11_test.moc"
