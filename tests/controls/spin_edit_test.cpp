#include "controls/spin_edit.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

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

// The spin button is the child at the right end of the edit.
QWidget* SpinButtonOf(TSpinEdit& spin) {
    QWidget* button = spin.childAt(spin.width() - 6, spin.height() / 2);
    Q_ASSERT(button && button != spin.Editor());
    return button;
}

QPoint TopPart(QWidget*) {
    return {2, 2};
}
QPoint BottomPart(QWidget* button) {
    return {button->width() - 3, button->height() - 3};
}

void ShowAndWait(QWidget& widget) {
    widget.show();
    widget.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&widget));
}

} // namespace

class SpinEditTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void writingValueLimitsAndFormats_data();
    void writingValueLimitsAndFormats();
    void showsAndReadsTheLocalesSeparator_data();
    void showsAndReadsTheLocalesSeparator();
    void unreadableTextReadsAsLowerLimit();
    void limitsLeaveTheTextAlone();
    void decimalAndTypeChangesReformat();
    void typingFiltersCharacters_data();
    void typingFiltersCharacters();
    void keyPressSeesAcceptedCharactersAndMayReplaceThem();
    void disabledEditorRefusesTypingButSteps();
    void enterAndEscapeReachTheDialog();
    void steppingStopsAtTheLimits_data();
    void steppingStopsAtTheLimits();
    void buttonPartsStepUpAndDown_data();
    void buttonPartsStepUpAndDown();
    void readOnlyRefusesSteps();
    void arrowKeysCanBeSwitchedOff();
    void holdingTheButtonRepeatsAfter400msThenEvery100ms();
    void movingOffThePressedPartPausesRepetition();
    void leavingRaisesExitBeforeLimiting();
    void leavingWithinTheLimitsKeepsTheText();
    void disablingDisablesTheButton();
    void destroyingAFocusedEditRaisesNoExit();
    void losingTheActivationEndsRepetition();
};

void SpinEditTest::writingValueLimitsAndFormats_data() {
    QTest::addColumn<double>("minValue");
    QTest::addColumn<double>("maxValue");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("below the lower limit") << 0.01 << 1000.0 << 0.0 << "0.010";
    QTest::newRow("above the upper limit") << 0.01 << 1000.0 << 5000.0 << "1000.000";
    QTest::newRow("inside") << 0.01 << 1000.0 << 12.3456 << "12.346";
    QTest::newRow("equal limits do not limit") << 0.0 << 0.0 << -5.0 << "-5.000";
}

void SpinEditTest::writingValueLimitsAndFormats() {
    QFETCH(double, minValue);
    QFETCH(double, maxValue);
    QFETCH(double, value);
    QFETCH(QString, text);
    TSpinEdit spin;
    spin.SetValueType(TSpinEdit::vtFloat);
    spin.SetDecimal(3);
    spin.SetMinValue(minValue);
    spin.SetMaxValue(maxValue);
    spin.SetValue(value);
    QCOMPARE(spin.Text(), text);
}

void SpinEditTest::showsAndReadsTheLocalesSeparator_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<bool>("asDefault");
    QTest::addColumn<QString>("text");
    QTest::newRow("point, default locale") << QLocale::c() << true << "0.0097656";
    QTest::newRow("comma, default locale") << QLocale(QLocale::German) << true << "0,0097656";
    QTest::newRow("comma, widget locale") << QLocale(QLocale::Russian) << false << "0,0097656";
}

void SpinEditTest::showsAndReadsTheLocalesSeparator() {
    QFETCH(QLocale, locale);
    QFETCH(bool, asDefault);
    QFETCH(QString, text);
    if (asDefault)
        QLocale::setDefault(locale);
    TSpinEdit spin;
    if (!asDefault)
        spin.setLocale(locale);
    spin.SetValueType(TSpinEdit::vtFloat);
    spin.SetDecimal(7);
    spin.SetMinValue(0.009765625L);
    spin.SetMaxValue(35.55609809027778L);
    spin.SetValue(0.009765625L);
    QCOMPARE(spin.Text(), text);
    QVERIFY2(spin.Value() == 0.0097656L,
             qPrintable(QString::number(double(spin.Value()), 'g', 17)));
}

void SpinEditTest::unreadableTextReadsAsLowerLimit() {
    TSpinEdit spin;
    spin.SetValueType(TSpinEdit::vtFloat);
    spin.SetMinValue(0.01L);
    spin.SetMaxValue(1000);
    for (const QString text : {"", "-", "1.2.3", "1,5"}) {
        spin.SetText(text);
        QVERIFY2(spin.Value() == 0.01L, qPrintable(text));
    }
    spin.SetValueType(TSpinEdit::vtInteger);
    spin.SetMinValue(2.7L);
    spin.SetText("");
    QVERIFY(spin.Value() == 2);
}

void SpinEditTest::limitsLeaveTheTextAlone() {
    TSpinEdit spin;
    QCOMPARE(spin.Text(), "0");
    spin.SetValue(5);
    spin.SetMinValue(10);
    spin.SetMaxValue(20);
    QCOMPARE(spin.Text(), "5");
    QVERIFY(spin.Value() == 5);
}

void SpinEditTest::decimalAndTypeChangesReformat() {
    TSpinEdit spin;
    spin.SetValue(26);
    spin.SetValueType(TSpinEdit::vtHex);
    QCOMPARE(spin.Text(), "1A");
    spin.SetValueType(TSpinEdit::vtFloat);
    QCOMPARE(spin.Text(), "26.00");
    spin.SetDecimal(3);
    QCOMPARE(spin.Text(), "26.000");
}

void SpinEditTest::typingFiltersCharacters_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    const QLocale c = QLocale::c(), german(QLocale::German);
    QTest::newRow("second point") << int(TSpinEdit::vtFloat) << c << "1.5.2"
                                  << "1.52";
    QTest::newRow("second exponent") << int(TSpinEdit::vtFloat) << c << "2e5E1"
                                     << "2e51";
    QTest::newRow("letters and signs") << int(TSpinEdit::vtFloat) << c << "x-1a?+"
                                       << "-1+";
    QTest::newRow("comma locale") << int(TSpinEdit::vtFloat) << german << "1,5,2.3"
                                  << "1,523";
    QTest::newRow("hex letters") << int(TSpinEdit::vtHex) << c << "1aFgG9"
                                 << "1aF9";
    QTest::newRow("integer") << int(TSpinEdit::vtInteger) << c << "-12.5e"
                             << "-125";
}

void SpinEditTest::typingFiltersCharacters() {
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

void SpinEditTest::keyPressSeesAcceptedCharactersAndMayReplaceThem() {
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

void SpinEditTest::disabledEditorRefusesTypingButSteps() {
    TSpinEdit spin;
    spin.SetValue(12);
    spin.SetEditorEnabled(false);
    ShowAndWait(spin);
    EventLog log;
    log.Attach(spin);
    QTest::keyClicks(spin.Editor(), "5.");
    QTest::keyClick(spin.Editor(), Qt::Key_Backspace);
    QTest::keyClick(spin.Editor(), Qt::Key_Delete);
    QCOMPARE(spin.Text(), "12");
    QCOMPARE(log.Count("key:"), 0);
    QTest::keyClick(spin.Editor(), Qt::Key_Up);
    QCOMPARE(spin.Text(), "13");
}

void SpinEditTest::enterAndEscapeReachTheDialog() {
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

void SpinEditTest::steppingStopsAtTheLimits_data() {
    QTest::addColumn<bool>("byButton");
    QTest::addColumn<bool>("up");
    QTest::addColumn<int>("start");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("keys up") << false << true << 2 << QStringList{"change:3", "top", "top", "top"};
    QTest::newRow("keys down") << false << false << 1
                               << QStringList{"change:0", "bottom", "bottom", "bottom"};
    QTest::newRow("button up") << true << true << 2 << QStringList{"change:3", "top", "top", "top"};
    QTest::newRow("button down") << true << false << 1
                                 << QStringList{"change:0", "bottom", "bottom", "bottom"};
}

void SpinEditTest::steppingStopsAtTheLimits() {
    QFETCH(bool, byButton);
    QFETCH(bool, up);
    QFETCH(int, start);
    QFETCH(QStringList, events);
    TSpinEdit spin;
    spin.resize(121, 24);
    spin.SetMinValue(0);
    spin.SetMaxValue(3);
    spin.SetValue(start);
    ShowAndWait(spin);
    EventLog log;
    log.Attach(spin);
    QWidget* button = SpinButtonOf(spin);
    for (int i = 0; i < 3; ++i) {
        if (byButton)
            QTest::mouseClick(button, Qt::LeftButton, {},
                              up ? TopPart(button) : BottomPart(button));
        else
            QTest::keyClick(spin.Editor(), up ? Qt::Key_Up : Qt::Key_Down);
    }
    QCOMPARE(log.entries, events);
    QVERIFY(spin.Modified());
}

void SpinEditTest::buttonPartsStepUpAndDown_data() {
    QTest::addColumn<int>("kind");
    QTest::addRow("diagonal") << int(TSpinEdit::bkDiagonal);
    QTest::addRow("standard") << int(TSpinEdit::bkStandard);
}

void SpinEditTest::buttonPartsStepUpAndDown() {
    QFETCH(int, kind);
    TSpinEdit spin;
    QCOMPARE(spin.ButtonKind(), TSpinEdit::bkDiagonal);
    spin.SetButtonKind(static_cast<TSpinEdit::TSpinButtonKind>(kind));
    spin.resize(121, 24);
    spin.SetValueType(TSpinEdit::vtFloat);
    spin.SetDecimal(3);
    spin.SetIncrement(0.001L);
    spin.SetValue(0.001L);
    ShowAndWait(spin);
    QWidget* button = SpinButtonOf(spin);
    QTest::mouseClick(button, Qt::LeftButton, {}, TopPart(button));
    QCOMPARE(spin.Text(), "0.002");
    QTest::mouseClick(button, Qt::LeftButton, {}, BottomPart(button));
    QTest::mouseClick(button, Qt::LeftButton, {}, BottomPart(button));
    QCOMPARE(spin.Text(), "0.000");
    // Right in the upper half, but below the diagonal from the lower-left to the upper-right
    // corner.
    const QPoint rightOfDiagonal(button->width() - 2, button->height() / 2 - 2);
    QTest::mouseClick(button, Qt::LeftButton, {}, rightOfDiagonal);
    QCOMPARE(spin.Text(), kind == TSpinEdit::bkDiagonal ? "-0.001" : "0.001");
}

void SpinEditTest::readOnlyRefusesSteps() {
    TSpinEdit spin;
    spin.resize(121, 24);
    spin.SetReadOnly(true);
    ShowAndWait(spin);
    EventLog log;
    log.Attach(spin);
    QTest::keyClick(spin.Editor(), Qt::Key_Up);
    QWidget* button = SpinButtonOf(spin);
    QTest::mouseClick(button, Qt::LeftButton, {}, TopPart(button));
    QTest::keyClicks(spin.Editor(), "7");
    QCOMPARE(spin.Text(), "0");
    QCOMPARE(log.entries, QStringList{"key:55"}); // typed, but a read-only edit takes nothing
}

void SpinEditTest::arrowKeysCanBeSwitchedOff() {
    TSpinEdit spin;
    spin.SetArrowKeys(false);
    ShowAndWait(spin);
    QTest::keyClick(spin.Editor(), Qt::Key_Up);
    QTest::keyClick(spin.Editor(), Qt::Key_Down);
    QCOMPARE(spin.Text(), "0");
}

void SpinEditTest::holdingTheButtonRepeatsAfter400msThenEvery100ms() {
    TSpinEdit spin;
    spin.resize(121, 24);
    spin.SetMaxValue(1000);
    ShowAndWait(spin);
    int steps = 0;
    spin.OnTopClick = [&](QObject*) { ++steps; };
    QWidget* button = SpinButtonOf(spin);
    QElapsedTimer clock;
    clock.start();
    QTest::mousePress(button, Qt::LeftButton, {}, TopPart(button));
    QCOMPARE(steps, 1);
    QTest::qWait(300);
    QCOMPARE(steps, 1);
    QTRY_COMPARE_WITH_TIMEOUT(steps, 2, 1000);
    QVERIFY2(clock.elapsed() >= 400, qPrintable(QString::number(clock.elapsed())));
    clock.restart();
    QTest::qWait(1000);
    const int perSecond = steps - 2;
    QVERIFY2(perSecond >= 8 && perSecond <= 11,
             qPrintable(QString("%1 steps in %2 ms").arg(perSecond).arg(clock.elapsed())));
    QTest::mouseRelease(button, Qt::LeftButton, {}, TopPart(button));
    const int released = steps;
    QTest::qWait(250);
    QCOMPARE(steps, released);
    QCOMPARE(spin.Text(), QString::number(steps));
}

void SpinEditTest::movingOffThePressedPartPausesRepetition() {
    TSpinEdit spin;
    spin.resize(121, 24);
    spin.SetMaxValue(1000);
    ShowAndWait(spin);
    EventLog log;
    log.Attach(spin);
    QWidget* button = SpinButtonOf(spin);
    QTest::mousePress(button, Qt::LeftButton, {}, TopPart(button));
    QTest::mouseMove(button, BottomPart(button));
    QTest::qWait(700);
    QCOMPARE(log.Count("top"), 1);
    QCOMPARE(log.Count("bottom"), 0);
    QTest::mouseMove(button, TopPart(button));
    QTRY_COMPARE_WITH_TIMEOUT(log.Count("top"), 2, 500);
    QTest::mouseRelease(button, Qt::LeftButton, {}, TopPart(button));
}

void SpinEditTest::leavingRaisesExitBeforeLimiting() {
    QWidget window;
    auto* spin = new TSpinEdit(&window);
    auto* other = new QLineEdit(&window);
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
    QTRY_VERIFY(spin->Editor()->hasFocus());
    QTest::keyClicks(spin->Editor(), "5000");
    EventLog log;
    log.Attach(*spin);
    other->setFocus();
    QCOMPARE(log.entries, (QStringList{"exit:5000", "change:1000.000"}));
}

void SpinEditTest::leavingWithinTheLimitsKeepsTheText() {
    QWidget window;
    auto* spin = new TSpinEdit(&window);
    auto* other = new QLineEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(spin);
    layout->addWidget(other);
    spin->SetValueType(TSpinEdit::vtFloat);
    spin->SetMinValue(0.01L);
    spin->SetMaxValue(1000);
    spin->SetText("");
    ShowAndWait(window);
    spin->setFocus();
    QTRY_VERIFY(spin->Editor()->hasFocus());
    QTest::keyClicks(spin->Editor(), "0.5");
    EventLog log;
    log.Attach(*spin);
    other->setFocus();
    QCOMPARE(log.entries, QStringList{"exit:0.5"});
    QCOMPARE(spin->Text(), "0.5");
}

void SpinEditTest::disablingDisablesTheButton() {
    TSpinEdit spin;
    spin.resize(121, 24);
    ShowAndWait(spin);
    QWidget* button = SpinButtonOf(spin);
    spin.setEnabled(false);
    QVERIFY(!button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton, {}, TopPart(button));
    QCOMPARE(spin.Text(), "0");
}

void SpinEditTest::destroyingAFocusedEditRaisesNoExit() {
    int exits = 0;
    QWidget window;
    auto* spin = new TSpinEdit(&window);
    spin->OnExit = [&](QObject*) { ++exits; };
    ShowAndWait(window);
    spin->setFocus();
    QTRY_VERIFY(spin->Editor()->hasFocus());
    delete spin;
    QCOMPARE(exits, 0);
}

void SpinEditTest::losingTheActivationEndsRepetition() {
    TSpinEdit spin;
    spin.resize(121, 24);
    spin.SetMaxValue(1000);
    ShowAndWait(spin);
    QWidget* button = SpinButtonOf(spin);
    QTest::mousePress(button, Qt::LeftButton, {}, TopPart(button));
    QWidget messageBox; // takes the activation, and with it the release of the button
    ShowAndWait(messageBox);
    const QString text = spin.Text();
    QTest::qWait(600);
    QCOMPARE(spin.Text(), text);
}

QTEST_MAIN(SpinEditTest)
#include "spin_edit_test.moc"
