#include "controls/switch.h"

#include <QLineEdit>
#include <QtTest>

using controls::TSwitch;

namespace {

// A shown switch with its events recorded as "on", "off" and "click:<state>".
struct SwitchFixture {
    QWidget window;
    TSwitch* swch = new TSwitch(&window);
    QStringList log;

    SwitchFixture() {
        swch->resize(swch->sizeHint());
        swch->OnOn = [this](QObject* sender) {
            QCOMPARE(sender, swch);
            log << "on";
        };
        swch->OnOff = [this](QObject*) { log << "off"; };
        swch->OnClick = [this](QObject*) { log << (swch->StateOn() ? "click:on" : "click:off"); };
        window.resize(120, 80);
        window.show();
        window.activateWindow();
    }
    QPoint Centre() const { return swch->rect().center(); }
};

} // namespace

class SwitchTest : public QObject {
    Q_OBJECT

private slots:
    void startsOffWithTheRecordersSize() {
        TSwitch swch;
        QVERIFY(!swch.StateOn());
        QCOMPARE(swch.TextPosition(), TSwitch::tpNone);
        QCOMPARE(swch.sizeHint(), QSize(33, 39));
    }
    void clickSeesTheFlippedState() {
        SwitchFixture f;
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QTest::mouseClick(f.swch, Qt::LeftButton, {}, f.Centre());
        QTest::mouseClick(f.swch, Qt::LeftButton, {}, f.Centre());
        QCOMPARE(f.log, (QStringList{"on", "click:on", "off", "click:off"}));
        // Other buttons do nothing.
        QTest::mouseClick(f.swch, Qt::RightButton, {}, f.Centre());
        QCOMPARE(f.log.size(), 4);
    }
    void toggleKeyFlipsWithoutClick_data() {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("space") << int(Qt::NoModifier) << QStringList{"on", "off"};
        QTest::newRow("shift space") << int(Qt::ShiftModifier) << QStringList{};
        QTest::newRow("control space") << int(Qt::ControlModifier) << QStringList{};
    }
    void toggleKeyFlipsWithoutClick() {
        QFETCH(int, modifiers);
        QFETCH(QStringList, events);
        SwitchFixture f;
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        f.swch->setFocus();
        QTest::keyClick(f.swch, Qt::Key_Space, Qt::KeyboardModifiers(modifiers));
        QTest::keyClick(f.swch, Qt::Key_Space, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(f.log, events);
    }
    void releaseOutsideFlipsWithoutClick() {
        SwitchFixture f;
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QTest::mousePress(f.swch, Qt::LeftButton, {}, f.Centre());
        QTest::mouseMove(f.swch, QPoint(60, 60));
        QTest::mouseRelease(f.swch, Qt::LeftButton, {}, QPoint(60, 60));
        QVERIFY(f.swch->StateOn());
        QCOMPARE(f.log, QStringList{"on"});
    }
    void doubleClickSecondPressFlipsWithoutClick() {
        SwitchFixture f;
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        // Sent to the window, so the platform's press-release-double-click sequence reaches the
        // switch.
        QTest::mouseDClick(f.window.windowHandle(), Qt::LeftButton, {},
                           f.swch->geometry().center());
        QVERIFY(!f.swch->StateOn());
        QCOMPARE(f.log, (QStringList{"on", "click:on", "off"}));
    }
    // Left to its owner, the state moves only when written; a click still asks, once per double
    // click, and never after a release off the switch or for the toggle key.
    void withoutAutoToggleOnlyTheOwnerSetsTheState_data() {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<int>("clicks");
        QTest::newRow("click") << "click" << 1;
        QTest::newRow("double click") << "double click" << 1;
        QTest::newRow("release outside") << "release outside" << 0;
        QTest::newRow("toggle key") << "toggle key" << 0;
    }
    void withoutAutoToggleOnlyTheOwnerSetsTheState() {
        QFETCH(QString, gesture);
        QFETCH(int, clicks);
        SwitchFixture f;
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        f.swch->SetAutoToggle(false);
        for (const bool on : {false, true}) {
            f.swch->SetStateOn(on);
            f.log.clear();
            if (gesture == "click") {
                QTest::mouseClick(f.swch, Qt::LeftButton, {}, f.Centre());
            } else if (gesture == "double click") {
                QTest::mouseDClick(f.window.windowHandle(), Qt::LeftButton, {},
                                   f.swch->geometry().center());
            } else if (gesture == "release outside") {
                QTest::mousePress(f.swch, Qt::LeftButton, {}, f.Centre());
                QTest::mouseMove(f.swch, QPoint(60, 60));
                QTest::mouseRelease(f.swch, Qt::LeftButton, {}, QPoint(60, 60));
            } else {
                f.swch->setFocus();
                QTest::keyClick(f.swch, Qt::Key_Space);
            }
            QCOMPARE(f.swch->StateOn(), on);
            QCOMPARE(f.log, QStringList(clicks, on ? "click:on" : "click:off"));
        }
    }
    void writingTheStateRaisesOnlyOnChange() {
        SwitchFixture f;
        f.swch->SetStateOn(false);
        QVERIFY(f.log.isEmpty());
        f.swch->SetStateOn(true);
        f.swch->SetStateOn(true);
        f.swch->SetStateOn(false);
        QCOMPARE(f.log, (QStringList{"on", "off"}));
    }
    void pressTakesTheFocusFirst() {
        SwitchFixture f;
        auto* edit = new QLineEdit(&f.window);
        edit->move(0, 45);
        edit->show();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        edit->setFocus();
        bool focusedWhenFlipped = false;
        f.swch->OnOn = [&](QObject*) { focusedWhenFlipped = f.swch->hasFocus(); };
        QTest::mouseClick(f.swch, Qt::LeftButton, {}, f.Centre());
        QVERIFY(focusedWhenFlipped);
    }
    void disabledSwitchIgnoresThePointer() {
        SwitchFixture f;
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        f.swch->setEnabled(false);
        QTest::mouseClick(f.swch, Qt::LeftButton, {}, f.Centre());
        QVERIFY(!f.swch->StateOn());
        QVERIFY(f.log.isEmpty());
    }
    void drawsOffOnAndDisabledDifferently() {
        TSwitch swch;
        swch.resize(33, 39);
        const QImage off = swch.grab().toImage();
        swch.SetStateOn(true);
        const QImage on = swch.grab().toImage();
        swch.setEnabled(false);
        const QImage disabled = swch.grab().toImage();
        QVERIFY(off != on);
        QVERIFY(on != disabled);
        swch.SetCaption("swchStart");
        QCOMPARE(swch.grab().toImage(), disabled); // tpNone draws no caption
        swch.resize(120, 39);
        const QImage wideNone = swch.grab().toImage();
        swch.SetTextPosition(TSwitch::tpRight);
        QVERIFY(swch.grab().toImage() != wideNone);
    }
};

QTEST_MAIN(SwitchTest)
#include "switch_test.moc"
