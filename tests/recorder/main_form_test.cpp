#include "controls/slider.h"
#include "controls/spin_edit.h"
#include "controls/switch.h"
#include "recorder/main_form.h"
#include "recorder/message_box.h"
#include "recorder/radio_group.h"
#include "support/recording_support.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <memory>

using controls::TSpinEdit;

namespace {

// A number as the operator's locale writes it.
QString Local(const char* dotted) {
    return QString::fromLatin1(dotted).replace(u'.', QLocale().decimalPoint());
}

bool Near(long double expected, long double actual, long double tolerance = 1e-9L) {
    return std::fabs(expected - actual) <= tolerance;
}

} // namespace

class MainFormTest : public recording_test::TWindowTest {
    Q_OBJECT

private:
    QLineEdit* Editor(const char* name) const { return Find<TSpinEdit>(name)->Editor(); }

    // Replaces the field's text by typing, as the operator does.
    void Type(const char* name, const char* dotted) const {
        QLineEdit* editor = Editor(name);
        editor->setFocus(Qt::MouseFocusReason);
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
        QTest::keyClicks(editor, Local(dotted));
    }

private slots:
    void init() {
        NewSettingsFolder();
        ShowNewWindow();
        // The fields' focus is part of what the tests see.
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
    }

    void cleanup() { Form.reset(); }

    void firstRunShowsTheCreatedValues() {
        QCOMPARE(Form->windowTitle(), QStringLiteral("Регистратор двоичного сигнала"));
        QCOMPARE(Form->size(), QSize(674, 395));
        QCOMPARE(Form->pos(), QPoint(60, 85));

        auto* summary = Find<QLabel>("StatusPanel0");
        QCOMPARE(summary->text(), QStringLiteral("COM1 8N1 115200"));
        QCOMPARE(summary->width(), Form->fontMetrics().horizontalAdvance(summary->text()) + 16);
        QCOMPARE(Find<QLabel>("StatusPanel1")->width(), 50);

        auto* period = Find<TSpinEdit>("spedSamplePeriod");
        QCOMPARE(period->Text(), Local("0.0097656"));
        QVERIFY(period->MinValue() == 0.009765625L);
        QVERIFY(period->MaxValue() == acquisition::DividerPeriod(65535));
        QVERIFY(Near(35.55609809027778L, period->MaxValue(), 1e-14L));
        QVERIFY(Near(0.000542534722L, period->Increment(), 1e-12L));

        auto* duration = Find<TSpinEdit>("spedDeflectTime");
        QCOMPARE(duration->Text(), Local("0.001"));
        QVERIFY(Near(4.8828L, duration->MaxValue(), 1e-12L));
        QVERIFY(duration->MinValue() == 0.001L);

        auto* grid = Find<TSpinEdit>("spedGridPeriod");
        QCOMPARE(grid->Text(), Local("1.000"));
        QVERIFY(grid->MinValue() == 0.01L);
        QVERIFY(grid->MaxValue() == 1000.0L);

        QCOMPARE(Find<controls::TSlider>("sldrGridOffset")->Value(), 0);
        QCOMPARE(Find<controls::TSlider>("sldrGridOffset")->Increment(), 1);
        QCOMPARE(Find<recorder::TRadioGroup>("rgrpDeflectOptions")->ItemIndex(), 1);
        QVERIFY(!Find<QCheckBox>("chbTest")->isChecked());
        QVERIFY(!Find<controls::TSwitch>("swchStart")->StateOn());
        QCOMPARE(Find<QWidget>("Chart")->cursor().shape(), Qt::ArrowCursor);
    }

    void controlsSitAtTheirPlaces_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QRect>("geometry"); // width or height 0: any
        QTest::addColumn<QString>("caption");

        const auto row = [](const char* name, const char* panel, QRect geometry,
                            const char* caption) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(panel)
                                << geometry << QString::fromUtf8(caption);
        };
        row("lblStart", "Panel1", QRect(8, 0, 0, 0), "Старт");
        row("swchStart", "Panel1", QRect(6, 16, 33, 39), "");
        row("chbTest", "Panel1", QRect(48, 4, 99, 13), "Режим теста");
        row("Label4", "Panel1", QRect(46, 22, 0, 0), "Период выборки");
        row("spedSamplePeriod", "Panel1", QRect(46, 34, 81, 0), "");
        row("Label5", "Panel1", QRect(130, 40, 0, 0), "мс");
        row("rgrpDeflectOptions", "Panel1", QRect(184, 6, 121, 49), "Развертка");
        row("Label2", "Panel1", QRect(312, 22, 0, 0), "Длительность развертки");
        row("spedDeflectTime", "Panel1", QRect(312, 34, 105, 0), "");
        row("Label3", "Panel1", QRect(418, 40, 0, 0), "сек");
        row("spedGridPeriod", "Panel2", QRect(), "");
        row("Label6", "Panel2", QRect(), "Шаг сетки, мс ");
        row("sldrGridOffset", "Panel2", QRect(), "");
        row("Label7", "Panel2", QRect(), "0 %");
        row("Label8", "Panel2", QRect(), "100 %");
        row("lblGridOffset", "Panel2", QRect(), "Смещение сетки");
    }

    void controlsSitAtTheirPlaces() {
        QFETCH(QString, name);
        QFETCH(QString, panel);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);

        auto* control = Form->findChild<QWidget*>(name);
        QVERIFY(control);
        QCOMPARE(control->parentWidget()->objectName(), panel);
        QVERIFY(control->isVisible());
        // Inside its panel, and the panel fully shows it.
        QVERIFY(control->parentWidget()->rect().contains(control->geometry()));
        if (!geometry.isNull()) {
            QCOMPARE(control->pos(), geometry.topLeft());
        }
        if (geometry.width() > 0) {
            QCOMPARE(control->width(), geometry.width());
        }
        if (geometry.height() > 0) {
            QCOMPARE(control->height(), geometry.height());
        }
        if (auto* label = qobject_cast<QLabel*>(control)) {
            QCOMPARE(label->text(), caption);
        } else if (auto* box = qobject_cast<QGroupBox*>(control)) {
            QCOMPARE(box->title(), caption);
        } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            QCOMPARE(button->text(), caption);
        }
    }

    void sweepModeIsOneItemOrNone() {
        auto* modes = Find<recorder::TRadioGroup>("rgrpDeflectOptions");
        const QList<QRadioButton*> items = modes->findChildren<QRadioButton*>();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0]->text(), QStringLiteral("Однократная"));
        QCOMPARE(items[1]->text(), QStringLiteral("Переодическая"));

        QTest::mouseClick(items[0], Qt::LeftButton);
        QCOMPARE(modes->ItemIndex(), 0);
        QVERIFY(!items[1]->isChecked());
        modes->SetItemIndex(-1);
        QCOMPARE(modes->ItemIndex(), -1);
        QVERIFY(!items[0]->isChecked() && !items[1]->isChecked());
        modes->SetItemIndex(1);
        QCOMPARE(modes->ItemIndex(), 1);
    }

    void partsStackFromToolBarToStatusLine() {
        const char* order[] = {"ToolBar1", "Panel2", "Chart", "Panel1", "StatusLine"};
        int lastBottom = -1;
        for (const char* name : order) {
            auto* part = Find<QWidget>(name);
            const QRect area(part->mapTo(Form.get(), QPoint(0, 0)), part->size());
            QVERIFY2(area.top() > lastBottom, name);
            QCOMPARE(area.width() >= Form->width() - 2, true);
            lastBottom = area.bottom();
        }
        QCOMPARE(Find<QWidget>("ToolBar1")->height(), 26);
        QCOMPARE(Find<QWidget>("Panel2")->height(), 37);
        QCOMPARE(Find<QWidget>("Panel1")->height(), 59);
    }

    void toolBarHoldsTheActionsInOrder() {
        QStringList shown;
        for (QAction* action : Find<QToolBar>("ToolBar1")->actions()) {
            shown << (action->isSeparator() ? QStringLiteral("|") : action->objectName());
        }
        const QStringList described{"actLoad",
                                    "actSave",
                                    "actSaveImage",
                                    "actCopy",
                                    "actPrint",
                                    "|",
                                    "actPortSet",
                                    "|",
                                    "actViewGrid",
                                    "actViewCursor",
                                    "|",
                                    "actViewMarkers",
                                    "|",
                                    "actSetMarker1",
                                    "actSetMarker2",
                                    "|",
                                    "actInvertLeftAxis"};
        QCOMPARE(shown.mid(0, described.size()), described);
        // The tools beyond the described ones come after them, apart.
        QVERIFY(shown.size() == described.size() || shown.value(described.size()) == "|");
    }

    void actionsCarryCaptionHintAndImage_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("button"); // check buttons only
        const auto row = [](const char* name, const char* caption, const char* hint,
                            const char* button) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(caption)
                                << QString::fromUtf8(hint) << QString::fromLatin1(button);
        };
        row("actLoad", "Load", "Загрузить данные из файла", "");
        row("actSave", "Save", "Сохранить данные в файле", "");
        row("actSaveImage", "Save image", "Сохранить в виде графического файла", "");
        row("actCopy", "Copy", "Перевести изображение графика в буфер обмена", "");
        row("actPrint", "Print", "Печатать график", "");
        row("actPortSet", "Port settings", "Установки последовательного порта", "");
        row("actViewGrid", "View grid", "Показать сетку на графике", "ToolButton7");
        row("actViewCursor", "View cursor", "Показать курсор", "tbtCrossHair");
        row("actViewMarkers", "ViewMarkers ", "Показать маркеры", "tbtMarkers");
        row("actSetMarker1", "Set marker1", "Установить маркер 1", "tbtMarker1");
        row("actSetMarker2", "Set marker2", "Установить маркер 2", "tbtMarker2");
        row("actInvertLeftAxis", "Invert left axis", "Инвертировать ось Y", "tbtInvertLeftAxis");
    }

    void actionsCarryCaptionHintAndImage() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, hint);
        QFETCH(QString, button);

        auto* action = Form->findChild<QAction*>(name);
        QVERIFY(action);
        QCOMPARE(action->text(), caption);
        QCOMPARE(action->statusTip(), hint);
        // The marker buttons' tool tips go on to name their keys.
        QVERIFY(action->toolTip().startsWith(hint));
        // Drawn as vectors: as sharp at twice the pixel density.
        const QPixmap image = action->icon().pixmap(QSize(16, 16), 2.0);
        QCOMPARE(image.size(), QSize(32, 32));
        const QImage pixels = image.toImage();
        int painted = 0;
        for (int y = 0; y < pixels.height(); ++y) {
            for (int x = 0; x < pixels.width(); ++x) {
                painted += qAlpha(pixels.pixel(x, y)) > 0 ? 1 : 0;
            }
        }
        QVERIFY(painted > 32);
        QCOMPARE(action->isCheckable(), !button.isEmpty());
        QVERIFY(!action->isChecked());
        if (!button.isEmpty()) {
            auto* toolButton = Form->findChild<QToolButton*>(button);
            QVERIFY(toolButton);
            QCOMPARE(toolButton->defaultAction(), action);
            QVERIFY(toolButton->isCheckable());
        }
    }

    void markerButtonsAtMostOneDownBothMayBeUp() {
        auto* markers = Find<QToolButton>("tbtMarkers");
        auto* marker1 = Find<QToolButton>("tbtMarker1");
        auto* marker2 = Find<QToolButton>("tbtMarker2");
        QVERIFY(!marker1->isEnabled());
        QVERIFY(!marker2->isEnabled());

        QTest::mouseClick(markers, Qt::LeftButton);
        QVERIFY(marker1->isEnabled());
        QVERIFY(marker2->isEnabled());

        QTest::mouseClick(marker1, Qt::LeftButton);
        QVERIFY(marker1->isChecked() && !marker2->isChecked());
        QTest::mouseClick(marker2, Qt::LeftButton);
        QVERIFY(!marker1->isChecked() && marker2->isChecked());
        QTest::mouseClick(marker2, Qt::LeftButton);
        QVERIFY(!marker1->isChecked() && !marker2->isChecked());

        // Hiding the markers keeps a button's down state.
        QTest::mouseClick(marker1, Qt::LeftButton);
        QTest::mouseClick(markers, Qt::LeftButton);
        QVERIFY(!marker1->isEnabled());
        QVERIFY(marker1->isChecked());
    }

    void crossHairButtonChoosesTheChartCursor() {
        auto* crossHair = Find<QToolButton>("tbtCrossHair");
        QTest::mouseClick(crossHair, Qt::LeftButton);
        QCOMPARE(Find<QWidget>("Chart")->cursor().shape(), Qt::CrossCursor);
        QTest::mouseClick(crossHair, Qt::LeftButton);
        QCOMPARE(Find<QWidget>("Chart")->cursor().shape(), Qt::ArrowCursor);
    }

    void hintShowsBesideThePanels() {
        auto* load = Find<QAction>("actLoad");
        load->showStatusText(Find<QToolBar>("ToolBar1"));
        QCOMPARE(Find<QLabel>("HintText")->text(), load->toolTip());
        QCOMPARE(Find<QLabel>("StatusPanel0")->text(), QStringLiteral("COM1 8N1 115200"));
        QVERIFY(Find<QLabel>("StatusPanel0")->isVisible());
        QVERIFY(Find<QLabel>("StatusPanel1")->isVisible());
    }

    void portStartsWithTheFormValues() {
        const serial::TSerialPort& port = Form->Port();
        QCOMPARE(port.ComNumber(), 1);
        QCOMPARE(port.Baud(), 115200);
        QCOMPARE(port.InSize(), 65535);
        QVERIFY(!port.AutoOpen());
        QCOMPARE(port.TapiMode(), serial::tmOff);
        QVERIFY(!port.Open());
    }

    void portSummaryFollowsThePortSettings() {
        Form->Port().SetComNumber(12);
        Form->Port().SetDataBits(7);
        Form->Port().SetParity(serial::pEven);
        Form->Port().SetStopBits(2);
        Form->Port().SetBaud(9600);
        Form->ShowPortSummary();
        auto* summary = Find<QLabel>("StatusPanel0");
        QCOMPARE(summary->text(), QStringLiteral("COM12 7E2 9600"));
        QCOMPARE(summary->width(), Form->fontMetrics().horizontalAdvance(summary->text()) + 16);
    }

    void errorBoxHasIconTitleAndOneAbortButton() {
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
        QStringList buttons;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            text = box->text();
            icon = box->icon();
            title = box->windowTitle();
            for (QAbstractButton* button : box->buttons()) {
                buttons << button->text();
            }
            box->buttons().front()->click();
        });
        recorder::ShowErrorBox(Form.get(), QStringLiteral("Устройство не готово"));
        QCOMPARE(text, QStringLiteral("Устройство не готово"));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(title, QStringLiteral("Error"));
        QCOMPARE(buttons, QStringList{QStringLiteral("&Abort")});
    }

    void confirmingATime_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("byEnter"); // else by leaving the field with Tab
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("sweepLength");
        QTest::addColumn<double>("axisMaximum");
        QTest::addColumn<double>("durationMaximum");

        const auto row = [](const char* tag, const char* field, const char* typed, bool byEnter,
                            const char* shown, int n, double axis, double durationMax) {
            QTest::newRow(tag) << QString::fromLatin1(field) << QString::fromLatin1(typed)
                               << byEnter << Local(shown) << n << axis << durationMax;
        };
        const char* period = "spedSamplePeriod";
        const char* duration = "spedDeflectTime";
        row("period 1, Enter", period, "1", true, "0.9998915", 2, 1.999783, 499.94575);
        row("period 1, Tab", period, "1", false, "0.9998915", 2, 1.999783, 499.94575);
        row("period 0.5", period, "0.5", true, "0.5002170", 3, 1.500651, 250.1085);
        row("period 0.1", period, "0.1", false, "0.0998264", 11, 1.0980904, 49.9132);
        row("period 0.001", period, "0.001", true, "0.0097656", 103, 1.0058568, 4.8828);
        row("period 100", period, "100", true, "35.5560981", 1, 35.5560981, 17778.04905);
        row("period empty", period, "", true, "0.0097656", 103, 1.0058568, 4.8828);
        row("duration 1, Enter", duration, "1", true, "1", 102401, 102401 * 0.0097656, 4.8828);
        row("duration 0.001, Tab", duration, "0.001", false, "0.001", 103, 1.0058568, 4.8828);
        // Enter takes a duration above the maximum as typed and leaves it shown so; leaving the
        // field limits it after the handler. Either way the sweep stays within 500,001 samples.
        row("duration 5, Enter", duration, "5", true, "5", 500001, 500001 * 0.0097656, 4.8828);
        row("duration 5, Tab", duration, "5", false, "4.883", 500001, 500001 * 0.0097656, 4.8828);
        // Leaving: the handler sees 0 before the field raises it to its lower limit.
        row("duration 0, Tab", duration, "0", false, "0.001", 1, 0.0097656, 4.8828);
    }

    void confirmingATime() {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(bool, byEnter);
        QFETCH(QString, shown);
        QFETCH(int, sweepLength);
        QFETCH(double, axisMaximum);
        QFETCH(double, durationMaximum);

        const QByteArray name = field.toLatin1();
        Type(name.constData(), typed.toLatin1().constData());
        QLineEdit* editor = Editor(name.constData());
        QTest::keyClick(editor, byEnter ? Qt::Key_Return : Qt::Key_Tab);
        QCOMPARE(editor->hasFocus(), byEnter);

        QCOMPARE(Find<TSpinEdit>(name.constData())->Text(), shown);
        QCOMPARE(Form->SweepLength(), sweepLength);
        QVERIFY2(Near(axisMaximum, Form->TimeAxisMaximum(), 1e-6L),
                 QByteArray::number(static_cast<double>(Form->TimeAxisMaximum()), 'g', 12));
        QVERIFY(Near(durationMaximum, Find<TSpinEdit>("spedDeflectTime")->MaxValue(), 1e-9L));
        if (field == QLatin1String("spedSamplePeriod")) {
            auto* period = Find<TSpinEdit>("spedSamplePeriod");
            QVERIFY(Find<TSpinEdit>("spedGridPeriod")->MinValue() == period->Value());
        }
    }

    void otherKeysOnlyEdit() {
        Type("spedSamplePeriod", "1");
        Type("spedDeflectTime", "2");
        // Moving to the duration confirmed the period; typing in the duration confirms nothing.
        QCOMPARE(Form->SweepLength(), 2);
        QTest::keyClick(Editor("spedDeflectTime"), Qt::Key_5);
        QCOMPARE(Find<TSpinEdit>("spedDeflectTime")->Text(), QStringLiteral("25"));
        QCOMPARE(Form->SweepLength(), 2);
        QVERIFY(Near(499.94575L, Find<TSpinEdit>("spedDeflectTime")->MaxValue(), 1e-9L));
    }

    // Periods far beyond the grid clamp to its nearer end; the duration is only cut when the
    // period really became shorter.
    void hugeTypedPeriodClampsToItsNearEnd_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<int>("sweepLength");
        QTest::newRow("1e12") << "1e12" << Local("35.5560981") << "10" << 282;
        QTest::newRow("1e15") << "1e15" << Local("35.5560981") << "10" << 282;
        QTest::newRow("17 nines") << "99999999999999999" << Local("35.5560981") << "10" << 282;
        QTest::newRow("-1e15") << "-1e15" << Local("0.0097656") << Local("4.883") << 500001;
    }

    void hugeTypedPeriodClampsToItsNearEnd() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(QString, duration);
        QFETCH(int, sweepLength);

        Type("spedSamplePeriod", "100");
        QTest::keyClick(Editor("spedSamplePeriod"), Qt::Key_Return);
        Type("spedDeflectTime", "10");
        QTest::keyClick(Editor("spedDeflectTime"), Qt::Key_Return);

        Type("spedSamplePeriod", typed.toLatin1().constData());
        QCOMPARE(Find<TSpinEdit>("spedSamplePeriod")->Text(), typed);
        QTest::keyClick(Editor("spedSamplePeriod"), Qt::Key_Return);
        QCOMPARE(Find<TSpinEdit>("spedSamplePeriod")->Text(), shown);
        QCOMPARE(Find<TSpinEdit>("spedDeflectTime")->Text(), duration);
        QCOMPARE(Form->SweepLength(), sweepLength);
    }

    // The command-line recorder takes its period from ConfirmedPeriod: the same value the field
    // holds once the operator has typed and confirmed the period.
    void confirmedPeriodIsWhatTheFieldHolds() {
        for (const char* typed : {"0.0097656", "0.001", "0.05", "0.12345678", "1", "35.6", "1e6"}) {
            Type("spedSamplePeriod", typed);
            QTest::keyClick(Editor("spedSamplePeriod"), Qt::Key_Return);
            QCOMPARE(Find<TSpinEdit>("spedSamplePeriod")->Value(),
                     acquisition::ConfirmedPeriod(std::strtold(typed, nullptr)));
        }
    }

    void shorterPeriodBringsTheDurationIntoRange() {
        Type("spedSamplePeriod", "100");
        QTest::keyClick(Editor("spedSamplePeriod"), Qt::Key_Return);
        Type("spedDeflectTime", "17778.049");
        QTest::keyClick(Editor("spedDeflectTime"), Qt::Key_Return);
        QCOMPARE(Form->SweepLength(), 500001);

        Type("spedSamplePeriod", "0.01");
        QTest::keyClick(Editor("spedSamplePeriod"), Qt::Key_Return);
        QCOMPARE(Find<TSpinEdit>("spedSamplePeriod")->Text(), Local("0.0097656"));
        QCOMPARE(Find<TSpinEdit>("spedDeflectTime")->Text(), Local("4.883"));
        QVERIFY(Near(4.8828L, Find<TSpinEdit>("spedDeflectTime")->MaxValue(), 1e-12L));
        QCOMPARE(Form->SweepLength(), 500001);
    }
};

// Every test runs once with "." and once with "," as the decimal separator.
int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    int failures = 0;
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)}) {
        QLocale::setDefault(locale);
        MainFormTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    return failures;
}

#include "main_form_test.moc"
