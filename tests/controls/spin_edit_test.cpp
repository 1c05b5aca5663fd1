#include "controls/spin_edit.h"
#include "support/real_locale.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

#include <optional>

using controls::TSpinEdit;

namespace {

// Records the spin edit's events in the order they arrive.
struct EventLog {
    QStringList entries;

    void Attach(TSpinEdit& spin) {
        spin.OnChange = [this, &spin](QObject*) { entries << "change:" + spin.Text(); };
        spin.OnTopClick = [this](QObject*) { entries << "top"; };
        spin.OnBottomClick = [this](QObject*) { entries << "bottom"; };
        spin.OnExit = [this, &spin](QObject*) { entries << "exit:" + spin.Text(); };
        spin.OnKeyPress = [this](QObject*, QChar& key) {
            entries << "key:" + QString::number(key.unicode());
        };
    }
    qsizetype Count(const QString& prefix) const {
        return std::count_if(entries.begin(), entries.end(),
                             [&](const QString& e) { return e.startsWith(prefix); });
    }
};

void ShowAndWait(QWidget& widget) {
    widget.show();
    widget.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&widget));
}

// A shown spin edit, integer 0 .. 1000 unless a test changes it, with its spin button.
struct SpinFixture {
    TSpinEdit spin;
    EventLog log;
    QWidget* button = nullptr;

    SpinFixture() {
        spin.resize(121, 24);
        spin.SetMaxValue(1000);
        ShowAndWait(spin);
        button = spin.childAt(spin.width() - 6, spin.height() / 2); // the right end
        log.Attach(spin);
    }
    QPoint Top() const { return {2, 2}; }
    QPoint Bottom() const { return {button->width() - 3, button->height() - 3}; }
};

// A window with a spin edit for 0.01 .. 1000 and a second field to move the focus to.
struct FocusFixture {
    QWidget window;
    TSpinEdit* spin = new TSpinEdit(&window);
    QLineEdit* other = new QLineEdit(&window);

    FocusFixture() {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(spin);
        layout->addWidget(other);
        spin->SetValueType(TSpinEdit::vtFloat);
        spin->SetDecimal(3);
        spin->SetMinValue(0.01L);
        spin->SetMaxValue(1000);
        spin->SetText("");
        ShowAndWait(window);
        spin->setFocus();
    }
};

} // namespace

class SpinEditTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void writingValueLimitsAndFormats() {
        TSpinEdit spin;
        QCOMPARE(spin.Text(), "0");
        spin.SetValueType(TSpinEdit::vtFloat);
        spin.SetDecimal(3);
        spin.SetValue(-5); // equal limits do not limit
        QCOMPARE(spin.Text(), "-5.000");
        spin.SetMinValue(0.01L);
        spin.SetMaxValue(1000);
        QCOMPARE(spin.Text(), "-5.000"); // the limits leave the text alone
        spin.SetValue(0);
        QCOMPARE(spin.Text(), "0.010");
        spin.SetValue(5000);
        QCOMPARE(spin.Text(), "1000.000");
        spin.SetText("");
        QVERIFY(spin.Value() == 0.01L);
    }

    void showsAndReadsTheLocalesSeparator_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<bool>("asDefault");
        QTest::addColumn<QString>("text");
        const QLocale russian(QLocale::Russian, QLocale::Russia);
        const QLocale pashto(QLocale::Pashto, QLocale::Afghanistan);
        QTest::newRow("point, user's locale") << QLocale::c() << true << "0.0097656";
        QTest::newRow("comma, user's locale") << russian << true << "0,0097656";
        QTest::newRow("arabic separator, user's locale") << pashto << true << "0\u066B0097656";
        QTest::newRow("comma, widget locale") << russian << false << "0,0097656";
    }
    // The user's locale as a program started under it has it, the C library's included.
    void showsAndReadsTheLocalesSeparator() {
        QFETCH(QLocale, locale);
        QFETCH(bool, asDefault);
        QFETCH(QString, text);
        std::optional<test_support::TRealLocale> real;
        if (asDefault)
            real.emplace(locale);
        TSpinEdit spin;
        if (!asDefault)
            spin.setLocale(locale);
        spin.SetValueType(TSpinEdit::vtFloat);
        spin.SetDecimal(7);
        spin.SetMinValue(0.009765625L);
        spin.SetMaxValue(35.55609809027778L);
        spin.SetValue(0.009765625L);
        QCOMPARE(spin.Text(), text);
        QVERIFY(spin.Value() == 0.0097656L);
        spin.SetText("0.5"); // a point where the locale has a comma reads as the lower limit
        QVERIFY(spin.Value() == (locale.decimalPoint() != "." ? 0.009765625L : 0.5L));
    }

    void decimalAndTypeChangesReformat() {
        TSpinEdit spin;
        spin.SetValue(26);
        spin.SetValueType(TSpinEdit::vtHex);
        QCOMPARE(spin.Text(), "1A");
        spin.SetValueType(TSpinEdit::vtFloat);
        QCOMPARE(spin.Text(), "26.00");
        spin.SetDecimal(3);
        QCOMPARE(spin.Text(), "26.000");
    }

    void typingFiltersCharacters_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        const QLocale c = QLocale::c(), german(QLocale::German);
        const int vtFloat = TSpinEdit::vtFloat;
        QTest::newRow("second point") << vtFloat << c << "1.5.2"
                                      << "1.52";
        QTest::newRow("second exponent") << vtFloat << c << "2e5E1"
                                         << "2e51";
        QTest::newRow("letters and signs") << vtFloat << c << "x-1a?+"
                                           << "-1+";
        QTest::newRow("comma locale") << vtFloat << german << "1,5,2.3"
                                      << "1,523";
        QTest::newRow("hex letters") << int(TSpinEdit::vtHex) << c << "1aFgG9"
                                     << "1aF9";
        QTest::newRow("integer") << int(TSpinEdit::vtInteger) << c << "-12.5e"
                                 << "-125";
    }
    void typingFiltersCharacters() {
        QFETCH(int, type);
        QFETCH(QLocale, locale);
        QFETCH(QString, keys);
        QFETCH(QString, text);
        TSpinEdit spin;
        spin.setLocale(locale);
        spin.SetValueType(static_cast<TSpinEdit::TValueType>(type));
        spin.SetText("");
        ShowAndWait(spin);
        QTest::keyClicks(spin.Editor(), keys);
        QCOMPARE(spin.Text(), text);
    }

    void keyPressSeesAcceptedCharactersAndMayReplaceThem() {
        TSpinEdit spin;
        spin.SetText("");
        QString seen;
        spin.OnKeyPress = [&](QObject* sender, QChar& key) {
            QCOMPARE(sender, &spin);
            seen += key;
            if (key == u'5')
                key = u'6';
            else if (key == u'7')
                key = QChar();
        };
        ShowAndWait(spin);
        QTest::keyClicks(spin.Editor(), "5x717");
        QCOMPARE(seen, "5717"); // "x" was refused before the handler
        QCOMPARE(spin.Text(), "61");
        QTest::keyClick(spin.Editor(), Qt::Key_Backspace);
        QCOMPARE(spin.Text(), "6");
        QCOMPARE(seen.back(), u'\b');
    }

    void disabledEditorRefusesTypingButSteps() {
        SpinFixture f;
        f.spin.SetValue(12);
        f.spin.SetEditorEnabled(false);
        f.log.entries.clear();
        QTest::keyClicks(f.spin.Editor(), "5.");
        QTest::keyClick(f.spin.Editor(), Qt::Key_Backspace);
        QTest::keyClick(f.spin.Editor(), Qt::Key_Delete);
        QCOMPARE(f.spin.Text(), "12");
        QTest::keyClick(f.spin.Editor(), Qt::Key_Return); // still offered to the window
        QTest::keyClick(f.spin.Editor(), Qt::Key_Up);
        QCOMPARE(f.log.entries, (QStringList{"key:13", "change:13", "top"}));
    }

    void enterAndEscapeReachTheDialog() {
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            QDialog dialog;
            auto* spin = new TSpinEdit(&dialog);
            auto* ok = new QPushButton("OK", &dialog);
            ok->setDefault(true);
            connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
            auto* layout = new QVBoxLayout(&dialog);
            layout->addWidget(spin);
            layout->addWidget(ok);
            QString seen;
            spin->OnKeyPress = [&](QObject*, QChar& typed) { seen += typed; };
            ShowAndWait(dialog);
            spin->setFocus();
            QTest::keyClick(spin->Editor(), key);
            const bool enter = key == Qt::Key_Return;
            QCOMPARE(seen, enter ? "\r" : "\x1b");
            QCOMPARE(dialog.result(), enter ? QDialog::Accepted : QDialog::Rejected);
            QVERIFY(dialog.isHidden());
            QCOMPARE(spin->Text(), "0");
        }
    }

    void steppingStopsAtTheLimits_data() {
        QTest::addColumn<bool>("byButton");
        QTest::addColumn<bool>("up");
        QTest::addColumn<int>("start");
        QTest::addColumn<QStringList>("events");
        const QStringList up{"change:3", "top", "top", "top"};
        const QStringList down{"change:0", "bottom", "bottom", "bottom"};
        QTest::newRow("keys up") << false << true << 2 << up;
        QTest::newRow("keys down") << false << false << 1 << down;
        QTest::newRow("button up") << true << true << 2 << up;
        QTest::newRow("button down") << true << false << 1 << down;
    }
    void steppingStopsAtTheLimits() {
        QFETCH(bool, byButton);
        QFETCH(bool, up);
        QFETCH(int, start);
        QFETCH(QStringList, events);
        SpinFixture f;
        f.spin.SetMaxValue(3);
        f.spin.SetValue(start);
        f.log.entries.clear();
        for (int i = 0; i < 3; ++i) {
            if (byButton)
                QTest::mouseClick(f.button, Qt::LeftButton, {}, up ? f.Top() : f.Bottom());
            else
                QTest::keyClick(f.spin.Editor(), up ? Qt::Key_Up : Qt::Key_Down);
        }
        QCOMPARE(f.log.entries, events);
        QVERIFY(f.spin.Modified());
    }

    void buttonPartsStepUpAndDown_data() {
        QTest::addColumn<int>("kind");
        QTest::addRow("diagonal") << int(TSpinEdit::bkDiagonal);
        QTest::addRow("standard") << int(TSpinEdit::bkStandard);
    }
    void buttonPartsStepUpAndDown() {
        QFETCH(int, kind);
        SpinFixture f;
        QCOMPARE(f.spin.ButtonKind(), TSpinEdit::bkDiagonal);
        f.spin.SetButtonKind(static_cast<TSpinEdit::TSpinButtonKind>(kind));
        f.spin.SetValueType(TSpinEdit::vtFloat);
        f.spin.SetMinValue(-1);
        f.spin.SetDecimal(3);
        f.spin.SetIncrement(0.001L);
        f.spin.SetValue(0.001L);
        QTest::mouseClick(f.button, Qt::LeftButton, {}, f.Top());
        QCOMPARE(f.spin.Text(), "0.002");
        QTest::mouseClick(f.button, Qt::LeftButton, {}, f.Bottom());
        QTest::mouseClick(f.button, Qt::LeftButton, {}, f.Bottom());
        QCOMPARE(f.spin.Text(), "0.000");
        // Right in the upper half, but below the diagonal from lower-left to upper-right corner.
        QTest::mouseClick(f.button, Qt::LeftButton, {},
                          QPoint(f.button->width() - 2, f.button->height() / 2 - 2));
        QCOMPARE(f.spin.Text(), kind == TSpinEdit::bkDiagonal ? "-0.001" : "0.001");
    }

    void readOnlyOrArrowKeysOffRefuseSteps() {
        SpinFixture f;
        f.spin.SetArrowKeys(false);
        QTest::keyClick(f.spin.Editor(), Qt::Key_Up);
        f.spin.SetArrowKeys(true);
        f.spin.SetReadOnly(true);
        QTest::keyClick(f.spin.Editor(), Qt::Key_Up);
        QTest::mouseClick(f.button, Qt::LeftButton, {}, f.Top());
        QTest::keyClicks(f.spin.Editor(), "7");
        QCOMPARE(f.spin.Text(), "0");
        QCOMPARE(f.log.entries, QStringList{"key:55"}); // typed, but a read-only edit takes nothing
    }

    void holdingTheButtonRepeatsAfter400msThenEvery100ms() {
        SpinFixture f;
        QElapsedTimer clock;
        clock.start();
        QTest::mousePress(f.button, Qt::LeftButton, {}, f.Top());
        QCOMPARE(f.log.Count("top"), 1);
        QTest::qWait(300);
        QCOMPARE(f.log.Count("top"), 1);
        QTRY_COMPARE_WITH_TIMEOUT(f.log.Count("top"), 2, 1000);
        QVERIFY2(clock.elapsed() >= 400, qPrintable(QString::number(clock.elapsed())));
        clock.restart();
        QTest::qWait(1000);
        const qsizetype perSecond = f.log.Count("top") - 2;
        QVERIFY2(perSecond >= 6 && perSecond <= 11,
                 qPrintable(QString("%1 steps in %2 ms").arg(perSecond).arg(clock.elapsed())));
        QTest::mouseRelease(f.button, Qt::LeftButton, {}, f.Top());
        const qsizetype released = f.log.Count("top");
        QTest::qWait(250);
        QCOMPARE(f.log.Count("top"), released);
        QCOMPARE(f.spin.Text(), QString::number(released));
    }

    void movingOffThePressedPartPausesRepetition() {
        SpinFixture f;
        QTest::mousePress(f.button, Qt::LeftButton, {}, f.Top());
        QTest::mouseMove(f.button, f.Bottom());
        QTest::qWait(700);
        QCOMPARE(f.log.Count("top"), 1);
        QCOMPARE(f.log.Count("bottom"), 0);
        QTest::mouseMove(f.button, f.Top());
        QTRY_COMPARE_WITH_TIMEOUT(f.log.Count("top"), 2, 500);
        QTest::mouseRelease(f.button, Qt::LeftButton, {}, f.Top());
    }

    void losingTheActivationEndsRepetition() {
        SpinFixture f;
        QTest::mousePress(f.button, Qt::LeftButton, {}, f.Top());
        QWidget messageBox; // takes the activation, and with it the release of the button
        ShowAndWait(messageBox);
        QTest::qWait(600);
        QCOMPARE(f.spin.Text(), "1");
    }

    void leavingRaisesExitBeforeLimiting_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("above") << "5000" << QStringList{"exit:5000", "change:1000.000"};
        QTest::newRow("below") << "0" << QStringList{"exit:0", "change:0.010"};
        QTest::newRow("inside, text kept") << "0.5" << QStringList{"exit:0.5"};
        QTest::newRow("unreadable reads as the limit") << "" << QStringList{"exit:"};
    }
    void leavingRaisesExitBeforeLimiting() {
        QFETCH(QString, typed);
        QFETCH(QStringList, events);
        FocusFixture f;
        QTRY_VERIFY(f.spin->Editor()->hasFocus());
        QTest::keyClicks(f.spin->Editor(), typed);
        EventLog log;
        log.Attach(*f.spin);
        f.other->setFocus();
        QCOMPARE(log.entries, events);
    }

    void destroyingAFocusedEditRaisesNoExit() {
        FocusFixture f;
        QTRY_VERIFY(f.spin->Editor()->hasFocus());
        int exits = 0;
        f.spin->OnExit = [&](QObject*) { ++exits; };
        delete f.spin;
        QCOMPARE(exits, 0);
    }

    void disablingDisablesTheButton() {
        SpinFixture f;
        f.spin.setEnabled(false);
        QVERIFY(!f.button->isEnabled());
        QTest::mouseClick(f.button, Qt::LeftButton, {}, f.Top());
        QCOMPARE(f.spin.Text(), "0");
    }
};

QTEST_MAIN(SpinEditTest)
#include "spin_edit_test.moc"
