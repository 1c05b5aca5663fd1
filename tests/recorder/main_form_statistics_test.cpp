// The pulse statistics panel on loaded traces: its figures as the clipboard receives them, over
// the whole trace and between the markers.

#include "support/real_locale.h"
#include "support/recording_support.h"

#include <QAction>
#include <QClipboard>
#include <QDockWidget>
#include <QMap>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

#include <algorithm>
#include <fstream>
#include <memory>

class StatisticsTest : public recording_test::TWindowTest {
    Q_OBJECT

private:
    chart::TChart* Chart() const { return Find<chart::TChart>("Chart"); }

    // A data file of `samples` points 0.01 ms apart; `high(i)` gives point i's level.
    template <typename F> void Load(int samples, F high) {
        const QString path = Path("trace.txt");
        std::ofstream file(path.toStdString(), std::ios::binary);
        for (int i = 0; i < samples; ++i)
            file << i / 100.0 << ' ' << (high(i) ? 1 : 0) << "\r\n";
        file.close();
        QVERIFY(recording_test::TriggerWithFile(*Form, "actLoad", "OpenDialog", path));
    }

    // The figures as "Копировать" puts them on the clipboard, by name.
    QMap<QString, QString> Copied() {
        QApplication::clipboard()->clear();
        QTest::qWait(50);
        Form->findChild<QPushButton*>(QStringLiteral("btnCopyStatistics"))->click();
        QMap<QString, QString> figures;
        for (const QString& line :
             QApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts)) {
            const QStringList parts = line.split(u'\t');
            if (parts.size() == 2)
                figures[parts[0]] = parts[1];
        }
        return figures;
    }

    // Marker `which` at `ms`, placed by a click with the time axis at a quarter ms a pixel; with
    // Shift among `modifiers` it goes on to the nearest edge.
    void PlaceMarker(const char* action, double ms, Qt::KeyboardModifiers modifiers = {}) {
        Chart()->BottomAxis().SetRange(0, Chart()->BottomAxis().AxisLength() / 4.0);
        Chart()->RedrawNow();
        Action(action)->setChecked(true);
        const QPoint p(Chart()->BottomAxis().StartPixel() + static_cast<int>(ms * 4),
                       Chart()->PlotRect().center().y());
        QCursor::setPos(Chart()->mapToGlobal(p));
        QTest::mouseClick(Chart(), Qt::LeftButton, modifiers, p);
    }

private slots:
    void init() {
        NewSettingsFolder();
        QLocale::setDefault(QLocale::c());
        ShowNewWindow();
    }
    void cleanup() { Form.reset(); }

    // A 1 kHz square at 25 % duty, ten periods: hidden at start, then the whole trace, then
    // t1 .. t2, which starts on a falling edge, counted, and ends inside a pulse.
    void squareWaveFigures() {
        auto* dock = Form->findChild<QDockWidget*>(QStringLiteral("StatisticsDock"));
        QVERIFY(!dock->isVisible());
        Load(1000, [](int i) { return i % 100 < 25; });
        Action("actViewStatistics")->trigger();
        QVERIFY(dock->isVisible());
        QMap<QString, QString> f = Copied();
        QCOMPARE(f.value(QStringLiteral("Фронты")), QStringLiteral("9"));
        QCOMPARE(f.value(QStringLiteral("Спады")), QStringLiteral("10"));
        for (const char* which : {"мин", "сред", "макс"}) {
            const QString w = QString::fromUtf8(which);
            QCOMPARE(f.value(QStringLiteral("Период %1, мс").arg(w)), QStringLiteral("1"));
            QCOMPARE(f.value(QStringLiteral("Длительность 1 %1, мс").arg(w)),
                     QStringLiteral("0.25"));
            QCOMPARE(f.value(QStringLiteral("Длительность 0 %1, мс").arg(w)),
                     QStringLiteral("0.75"));
        }
        QCOMPARE(f.value(QStringLiteral("Частота, Гц")), QStringLiteral("1000"));
        QCOMPARE(f.value(QStringLiteral("Заполнение, %")), QStringLiteral("25"));

        Action("actViewMarkers")->trigger();
        PlaceMarker("actSetMarker1", 1.25);
        PlaceMarker("actSetMarker2", 3.5);
        f = Copied();
        QCOMPARE(f.value(QStringLiteral("Фронты")), QStringLiteral("2"));
        QCOMPARE(f.value(QStringLiteral("Спады")), QStringLiteral("3"));
        QCOMPARE(f.value(QStringLiteral("Период сред, мс")), QStringLiteral("1"));
        QCOMPARE(f.value(QStringLiteral("Длительность 1 сред, мс")), QStringLiteral("0.25"));
        QCOMPARE(f.value(QStringLiteral("Длительность 0 макс, мс")), QStringLiteral("0.75"));

        // Hidden markers: the whole trace again.
        Action("actViewMarkers")->trigger();
        QTRY_COMPARE(Copied().value(QStringLiteral("Фронты")), QStringLiteral("9"));
    }

    // t1 and t2 snapped with Shift to a rising edge and the falling edge after it: the range
    // holds both edges and the one whole pulse between them, as long as dt in the title.
    void markersSnappedToAPulseMeasureIt() {
        Action("actViewStatistics")->trigger();
        Load(500, [](int i) { return (i >= 137 && i < 183) || (i >= 300 && i < 350); });
        Action("actViewMarkers")->trigger();
        PlaceMarker("actSetMarker1", 1.25, Qt::ShiftModifier);
        PlaceMarker("actSetMarker2", 2, Qt::ShiftModifier);
        const QString title = Chart()->Title().Text().value(0);
        QVERIFY2(title.startsWith(QStringLiteral("t1=1.37 мс   t2=1.83 мс   dt=0.46 мс")),
                 qPrintable(title));
        QMap<QString, QString> f = Copied();
        QCOMPARE(f.value(QStringLiteral("Фронты")), QStringLiteral("1"));
        QCOMPARE(f.value(QStringLiteral("Спады")), QStringLiteral("1"));
        for (const char* which : {"мин", "сред", "макс"})
            QCOMPARE(f.value(QStringLiteral("Длительность 1 %1, мс").arg(QString::fromUtf8(which))),
                     QStringLiteral("0.46"));
        QCOMPARE(f.value(QStringLiteral("Длительность 0 сред, мс")), QStringLiteral("—"));
        QCOMPARE(f.value(QStringLiteral("Период сред, мс")), QStringLiteral("—"));

        // The markers the other way round: the same range.
        PlaceMarker("actSetMarker1", 2, Qt::ShiftModifier);
        PlaceMarker("actSetMarker2", 1.25, Qt::ShiftModifier);
        f = Copied();
        QCOMPARE(f.value(QStringLiteral("Фронты")), QStringLiteral("1"));
        QCOMPARE(f.value(QStringLiteral("Длительность 1 сред, мс")), QStringLiteral("0.46"));
    }

    // No edge, then one: the counts, and "—" for what needs two edges; a comma locale.
    void fewEdgesShowDashes() {
        const test_support::TRealLocale russian(QLocale(QLocale::Russian, QLocale::Russia));
        Action("actViewStatistics")->trigger();
        Load(500, [](int) { return false; });
        QMap<QString, QString> f = Copied();
        QCOMPARE(f.value(QStringLiteral("Фронты")), QStringLiteral("0"));
        QCOMPARE(f.value(QStringLiteral("Период мин, мс")), QStringLiteral("—"));
        QCOMPARE(f.value(QStringLiteral("Заполнение, %")), QStringLiteral("—"));
        Load(500, [](int i) { return i >= 123; });
        f = Copied();
        QCOMPARE(f.value(QStringLiteral("Фронты")), QStringLiteral("1"));
        QCOMPARE(f.value(QStringLiteral("Частота, Гц")), QStringLiteral("—"));
        QCOMPARE(f.value(QStringLiteral("Длительность 1 макс, мс")), QStringLiteral("—"));
        Load(400, [](int i) { return i % 100 < 25; });
        QCOMPARE(Copied().value(QStringLiteral("Длительность 1 мин, мс")), QStringLiteral("0,25"));
    }

    // Wherever the window stands, showing the panel keeps it, frame included, on the screen's
    // free area, with the controls beneath the trace whole; hiding it gives back what it added.
    void panelKeepsTheWindowOnTheScreen_data() {
        QTest::addColumn<QString>("place");
        QTest::newRow("first run") << "first run";
        QTest::newRow("at the right edge") << "right edge";
        QTest::newRow("as wide as the screen") << "screen wide";
    }
    void panelKeepsTheWindowOnTheScreen() {
        QFETCH(QString, place);
        const QRect room = Form->screen()->availableGeometry();
        const int frame = Form->frameGeometry().width() - Form->width();
        if (place == "right edge") {
            Form->move(room.right() + 1 - Form->frameGeometry().width(), Form->y());
        } else if (place == "screen wide") {
            Form->move(room.left(), Form->y());
            Form->resize(room.width() - frame, Form->height());
        }
        QTRY_VERIFY(room.contains(Form->frameGeometry()));
        const int before = Form->width();

        Action("actViewStatistics")->trigger();
        QTRY_VERIFY(Form->findChild<QDockWidget*>(QStringLiteral("StatisticsDock"))->isVisible());
        QVERIFY2(room.contains(Form->frameGeometry()),
                 qPrintable(QStringLiteral("window %1,%2 %3x%4 on a free area %5x%6")
                                .arg(Form->frameGeometry().x())
                                .arg(Form->frameGeometry().y())
                                .arg(Form->frameGeometry().width())
                                .arg(Form->frameGeometry().height())
                                .arg(room.width())
                                .arg(room.height())));
        for (const char* name : {"lblTrigger", "cmbTrigger", "lblGridOffset", "spedDeflectTime"}) {
            auto* control = Form->findChild<QWidget*>(QString::fromLatin1(name));
            const int end = control->x() + std::min(control->width(), control->sizeHint().width());
            QTRY_VERIFY2(end <= control->parentWidget()->width(),
                         qPrintable(QStringLiteral("%1 ends at %2 in %3")
                                        .arg(QString::fromLatin1(name))
                                        .arg(end)
                                        .arg(control->parentWidget()->width())));
        }
        Action("actViewStatistics")->trigger();
        QTRY_COMPARE(Form->width(), before);
        QVERIFY(room.contains(Form->frameGeometry()));
    }

    // The trigger's caption and choice stay clear of the duration's caption, and showing the
    // panel widens the window so that the choice stays whole beneath the trace; hiding it gives
    // the width back.
    void panelLeavesTheControlsWhole() {
        auto* panel = Form->findChild<QWidget*>(QStringLiteral("Panel1"));
        auto* trigger = Form->findChild<QWidget*>(QStringLiteral("cmbTrigger"));
        auto* triggerCaption = Form->findChild<QWidget*>(QStringLiteral("lblTrigger"));
        auto* durationCaption = Form->findChild<QWidget*>(QStringLiteral("Label2"));
        QVERIFY(!triggerCaption->geometry().intersects(durationCaption->geometry()));
        Form->resize(trigger->geometry().right() + 40, Form->height());
        Form->move(0, 0);
        QTRY_VERIFY(panel->width() > trigger->geometry().right());
        const int before = Form->width();

        Action("actViewStatistics")->trigger();
        auto* dock = Form->findChild<QDockWidget*>(QStringLiteral("StatisticsDock"));
        QVERIFY(dock->isVisible());
        QTRY_VERIFY2(panel->width() > trigger->geometry().right(),
                     qPrintable(QStringLiteral("panel %1 wide, trigger ends at %2")
                                    .arg(panel->width())
                                    .arg(trigger->geometry().right())));
        Action("actViewStatistics")->trigger();
        QTRY_COMPARE(Form->width(), before);
    }
};

QTEST_MAIN(StatisticsTest)
#include "main_form_statistics_test.moc"
