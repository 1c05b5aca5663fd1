// Finding a pulse on a loaded trace through the real window: the dialog, F3 and Shift+F3, the
// markers on the pulse found, the view around it, Ctrl+arrows from edge to edge, and the note
// when nothing matches.

#include "devsim/options.h"
#include "devsim/recording_maker.h"
#include "devsim/sources.h"
#include "measure/markers.h"
#include "support/recording_support.h"

#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <fstream>

class SearchTest : public recording_test::TWindowTest {
    Q_OBJECT

private:
    chart::TChart* Chart() const { return Find<chart::TChart>("Chart"); }
    chart::TChartAxis& Axis() const { return Chart()->BottomAxis(); }
    QString Title() const { return Chart()->Title().Text().value(0); }
    QString Note() const { return Find<QLabel>("HintText")->text(); }
    double Centre() const { return (Axis().Minimum() + Axis().Maximum()) / 2; }

    // 20 ms at 0.01 ms a point: a square wave of 0.5 ms high and low, with one 0.05 ms high pulse
    // inside each of the low runs from 12 and from 16 ms on.
    void LoadTrace() {
        const QString path = Path("trace.txt");
        std::ofstream file(path.toStdString(), std::ios::binary);
        for (int i = 0; i < 2000; ++i) {
            const bool odd = (i >= 1220 && i < 1225) || (i >= 1620 && i < 1625);
            file << i / 100.0 << ' ' << ((i / 50 % 2 == 1 || odd) ? 1 : 0) << "\r\n";
        }
        file.close();
        QVERIFY(recording_test::TriggerWithFile(*Form, "actLoad", "OpenDialog", path));
    }

    // "Найти импульс…" with level item `level` (1, 0, either) and a width limit, as typed there.
    void Search(int level, bool longer, const QString& widthMs) {
        bool asked = false;
        QTimer::singleShot(0, Form.get(), [&] {
            auto* dialog = Form->findChild<QDialog*>(QStringLiteral("PulseSearchDialog"));
            if (!dialog || !dialog->isVisible())
                return;
            asked = true;
            auto* group = dialog->findChild<QWidget*>(QStringLiteral("rgrpPulseLevel"));
            group->findChildren<QRadioButton*>().at(level)->click();
            dialog->findChild<QComboBox*>(QStringLiteral("cmbPulseWidthLimit"))
                ->setCurrentIndex(longer ? 1 : 0);
            recording_test::Confirm(
                recording_test::FindChild<controls::TSpinEdit>(*dialog, "spedPulseWidth"), widthMs);
            dialog->findChild<QPushButton*>(QStringLiteral("btnFind"))->click();
        });
        Action("actFindPulse")->trigger();
        QVERIFY(asked);
    }

    // A key as the operator presses it in the active window, where its shortcuts work.
    void Key(int key, Qt::KeyboardModifiers modifiers) {
        Form->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), Form.get());
        QTest::keyClick(Form->windowHandle(), static_cast<Qt::Key>(key), modifiers);
    }

    // The pulse start .. end is marked and shown in the middle of the view with room around it.
    void CheckShown(double start, double end) {
        QVERIFY(Chart()->Title().Visible());
        QCOMPARE(Title(), measure::MarkerReadout(start, end));
        QVERIFY2(
            Axis().Minimum() < start && end < Axis().Maximum(),
            qPrintable(QStringLiteral("%1 .. %2").arg(Axis().Minimum()).arg(Axis().Maximum())));
        QVERIFY(std::abs(Centre() - (start + end) / 2) < 1e-9);
        // Wide enough on the screen to see, narrow enough for its neighbours to show.
        const double share = (end - start) / (Axis().Maximum() - Axis().Minimum());
        QVERIFY2(share > 0.2 && share < 0.5, qPrintable(QString::number(share)));
    }

private slots:
    void init() {
        NewSettingsFolder();
        ShowNewWindow();
        LoadTrace();
    }
    void cleanup() { Form.reset(); }

    void findsTheOddPulseAndTheNextOnes() {
        const double minimum = Axis().Minimum(), maximum = Axis().Maximum();
        Search(0, false, QStringLiteral("0.1"));
        CheckShown(12.2, 12.25);
        Key(Qt::Key_F3, Qt::NoModifier);
        CheckShown(16.2, 16.25);
        // No third one: the view and the markers stay, and the window says so.
        Key(Qt::Key_F3, Qt::NoModifier);
        CheckShown(16.2, 16.25);
        QCOMPARE(Note(), QStringLiteral("Импульс не найден"));
        Key(Qt::Key_F3, Qt::ShiftModifier);
        CheckShown(12.2, 12.25);
        QCOMPARE(Note(), QString());
        // The undo gesture of a zoom, a drag up and left, brings back the whole trace.
        const QPoint from = Chart()->PlotRect().center();
        QTest::mousePress(Chart(), Qt::LeftButton, {}, from);
        QTest::mouseMove(Chart(), from - QPoint(40, 40));
        QTest::mouseRelease(Chart(), Qt::LeftButton, {}, from - QPoint(40, 40));
        QCOMPARE(Axis().Minimum(), minimum);
        QCOMPARE(Axis().Maximum(), maximum);
    }

    // The square's own pulses are exactly 0.5 ms: neither shorter nor longer than that.
    void noMatchLeavesTheViewAndSaysSo() {
        const double minimum = Axis().Minimum(), maximum = Axis().Maximum();
        Search(2, true, QStringLiteral("0.5"));
        QCOMPARE(Note(), QStringLiteral("Импульс не найден"));
        QCOMPARE(Axis().Minimum(), minimum);
        QCOMPARE(Axis().Maximum(), maximum);
        QVERIFY(!Chart()->Title().Visible());
        Search(1, true, QStringLiteral("0.49"));
        // The low run that begins first after the middle of the whole trace.
        CheckShown(10.0, 10.5);
    }

    // With the chart clicked: a field with the focus keeps Ctrl+arrows for its text.
    void ctrlArrowsStepFromEdgeToEdge() {
        Axis().SetRange(9, 10.25);
        Chart()->RedrawNow();
        QTest::mouseClick(Chart(), Qt::LeftButton, {}, Chart()->PlotRect().center());
        const double span = 1.25;
        Key(Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(Centre(), 10.0);
        Key(Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(Centre(), 10.5);
        QCOMPARE(Axis().Maximum() - Axis().Minimum(), span);
        Key(Qt::Key_Left, Qt::ControlModifier);
        QCOMPARE(Centre(), 10.0);
        // Centred on the edge at 0.5 ms, this view's ends give back a middle a rounding short of
        // it; the next step still goes on to the edge after it.
        Axis().SetRange(-1, 0.51);
        Key(Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(Centre(), 0.5);
        Key(Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(Centre(), 1.0);
        // Past the last edge the view stays.
        Axis().SetRange(19.8, 20.5);
        Key(Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(Centre(), 20.15);
        QCOMPARE(Note(), QStringLiteral("Фронт не найден"));
    }

    // On a recording the search runs over its file, not over the columns drawn: ten seconds of
    // a 1 kHz square at the shortest period, with a 30 µs pulse (3 samples) in the low half of
    // the first period of every second.
    void findsThePulseInARecordingsFile() {
        const std::string path = Path("glitch.tlr").toStdString();
        devsim::MakeRecording(devsim::SignalFactory(devsim::ParseSource("glitch:1000:30")),
                              devsim::OfflineRecording{path, 16, 10}, 0, "search test");
        QVERIFY(recording_test::TriggerWithFile(*Form, "actOpenRecording", "OpenRecordingDialog",
                                                QString::fromStdString(path)));
        Chart()->RedrawNow();
        // Pulse k begins at sample floor((1000 k + 3/4) × 102.4 − 3/2 + 1/2).
        const double period = 108.0 / 11059.2;
        const auto start = [&](int k) { return std::floor((1000.0 * k + 0.75) * 102.4 - 1) * period; };
        const double width = 3 * period;

        // From the middle of the whole recording, about 5 s.
        Search(0, false, QStringLiteral("0.05"));
        CheckShown(start(5), start(5) + width);
        Key(Qt::Key_F3, Qt::NoModifier);
        CheckShown(start(6), start(6) + width);
        Key(Qt::Key_F3, Qt::ShiftModifier);
        CheckShown(start(5), start(5) + width);
        // From the pulse's middle to its end, then back past its start to the edge before it;
        // the focus leaves the fields, which keep Ctrl+arrows for their text.
        Chart()->setFocus();
        Key(Qt::Key_Right, Qt::ControlModifier);
        QVERIFY(std::abs(Centre() - (start(5) + width)) < 1e-9);
        Key(Qt::Key_Left, Qt::ControlModifier);
        QVERIFY(std::abs(Centre() - start(5)) < 1e-9);
        Key(Qt::Key_Left, Qt::ControlModifier);
        QVERIFY(Centre() < start(5) - 20 * period);
        QCOMPARE(Note(), QString());

        // Past the last pulse the view stays and the window says so.
        Axis().SetRange(9'500, 9'999);
        Key(Qt::Key_F3, Qt::NoModifier);
        QCOMPARE(Note(), QStringLiteral("Импульс не найден"));
    }
};

QTEST_MAIN(SearchTest)
#include "main_form_search_test.moc"
