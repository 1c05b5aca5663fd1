// The window's placement saved at close and restored at the next first show on a real X server,
// framed by a window manager (TALVIR_WINDOW_MANAGER=1) or not: the window comes back exactly
// where it was, frame and contents.

#include "recorder/main_form.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using recorder::TMainForm;

class PlacementX11Test : public QObject {
    Q_OBJECT

private:
    QTemporaryDir Config;
    const bool Framed = qEnvironmentVariableIntValue("TALVIR_WINDOW_MANAGER") == 1;

    void ShowSettled(TMainForm& form) const {
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // A window manager frames the window some time after it is mapped.
        if (Framed)
            QVERIFY(
                QTest::qWaitFor([&] { return form.frameGeometry() != form.geometry(); }, 20000));
    }

private slots:
    void initTestCase() {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        qputenv("XDG_CONFIG_HOME", Config.path().toLocal8Bit());
    }

    void saveAndRestoreKeepThePlace() {
        QRect frame;
        QRect contents;
        {
            TMainForm form;
            ShowSettled(form);
            form.move(150, 130);
            form.resize(700, 420);
            QVERIFY(QTest::qWaitFor([&] {
                return form.frameGeometry().topLeft() == QPoint(150, 130) &&
                       form.size() == QSize(700, 420);
            }));
            frame = form.frameGeometry();
            contents = form.geometry();
            form.close();
        }
        TMainForm form;
        ShowSettled(form);
        (void)QTest::qWaitFor([&] { return form.frameGeometry() == frame; }, 2000);
        QCOMPARE(form.frameGeometry(), frame);
        QCOMPARE(form.geometry(), contents);
    }
};

QTEST_MAIN(PlacementX11Test)

#include "placement_x11_test.moc"
