// The settings file through the real window: a first run's file byte for byte, values and
// placement read back at the first show, and what the operator sees when the file can't be
// written.

#include "app/application.h"
#include "controls/spin_edit.h"
#include "recorder/main_form.h"
#include "recorder/radio_group.h"
#include "settings/form_storage.h"
#include "support/real_locale.h"
#include "support/recording_support.h"

#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QMessageBox>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <csignal>
#include <functional>
#include <tuple>

#include <sys/resource.h>

using controls::TSpinEdit;

namespace {

QString Local(const char* dotted) {
    return QString::fromLatin1(dotted).replace(u'.', QLocale().decimalPoint());
}

// Runs the action, closes the first message box it shows and returns that box's text.
QString BoxText(const std::function<void()>& action) {
    QString text;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            box->close();
        }
    });
    poll.start(10);
    action();
    return text;
}

// The screen-size suffix and pixels per inch of the screen the test runs on.
QString ScreenSize() {
    const QSize size = QGuiApplication::primaryScreen()->size();
    return QStringLiteral("(%1x%2)").arg(size.width()).arg(size.height());
}

int PixelsPerInch() {
    return qRound(QGuiApplication::primaryScreen()->logicalDotsPerInchY());
}

// Where the window's contents lie at first: the window is placed by its outer corner at (60, 85),
// and the offscreen platform pretends to draw a frame around the contents.
QRect InitialContents() {
    QWidget probe;
    probe.move(60, 85);
    probe.show();
    return QRect(probe.geometry().topLeft(), QSize(674, 395));
}

QString NormPos(const QRect& r) {
    return QStringLiteral("%1,%2,%3,%4")
        .arg(r.left())
        .arg(r.top())
        .arg(r.left() + r.width())
        .arg(r.top() + r.height());
}

} // namespace

class MainFormStorageTest : public recording_test::TWindowTest {
    Q_OBJECT

private:
    void WriteIni(const QByteArray& text) const {
        QFile file(WindowIniPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    QByteArray ReadIni() const {
        QFile file(WindowIniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
    }

private slots:
    // The window is shown by each test, after the settings file it reads.
    void init() {
        NewSettingsFolder();
        CreateWindow();
    }

    void cleanup() {
        Form.reset();
        QLocale::setDefault(QLocale::c());
    }

    void firstRunWritesTheSectionAtClose() {
        ShowWindow();
        QVERIFY(!QFile::exists(WindowIniPath()));
        QCOMPARE(Form->geometry(), InitialContents());
        Form->close();
        const QString expected = QStringLiteral("[TMainForm]\n"
                                                "FormVersion=0\n"
                                                "Flags=0\n"
                                                "ShowCmd=1\n"
                                                "PixelsPerInch=%1\n"
                                                "MinMaxPos%2=-1,-1,-1,-1\n"
                                                "MinMaxPos=-1,-1,-1,-1\n"
                                                "NormPos%2=%3\n"
                                                "NormPos=%3\n"
                                                "Visible=0\n"
                                                "rgrpDeflectOptions_ItemIndex=1\n"
                                                "spedDeflectTime_Value=0.001\n"
                                                "spedSamplePeriod_Value=0.0097656\n"
                                                // The trigger and the statistics panel, after
                                                // the keys above.
                                                "cmbTrigger_ItemIndex=0\n"
                                                "actViewStatistics_Checked=0\n")
                                     .arg(PixelsPerInch())
                                     .arg(ScreenSize(), NormPos(InitialContents()));
        QCOMPARE(QString::fromUtf8(ReadIni()), expected);
    }

    void restoresValuesThroughTheSetters_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QByteArray>("values");
        QTest::addColumn<int>("itemIndex");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<QString>("period");
        const QLocale point = QLocale::c();
        const QLocale comma(QLocale::Russian, QLocale::Russia);
        for (const QLocale& locale : {point, comma}) {
            const QByteArray name = locale.decimalPoint().toUtf8();
            QTest::addRow("1.5 under '%s'", name.data())
                << locale << QByteArray("spedSamplePeriod_Value=1.5\n") << 1
                << QStringLiteral("0.001") << QStringLiteral("1.5000000");
            QTest::addRow("x as item index under '%s'", name.data())
                << locale << QByteArray("rgrpDeflectOptions_ItemIndex=x\n") << 0
                << QStringLiteral("0.001") << QStringLiteral("0.0097656");
        }
        // The duration arrives first and is limited by the maximum the window's creation set
        // (4.8828 s), not by the one the stored sample period would give.
        QTest::newRow("duration limited by the old maximum")
            << point
            << QByteArray("spedSamplePeriod_Value=35\nspedDeflectTime_Value=10\n"
                          "rgrpDeflectOptions_ItemIndex=0\n")
            << 0 << QStringLiteral("4.883") << QStringLiteral("35.0000000");
        QTest::newRow("values that don't convert keep the window's")
            << comma << QByteArray("spedSamplePeriod_Value=1,5x\nspedDeflectTime_Value=\n") << 1
            << QStringLiteral("0.001") << QStringLiteral("0.0097656");
    }

    void restoresValuesThroughTheSetters() {
        QFETCH(QLocale, locale);
        QFETCH(QByteArray, values);
        const test_support::TRealLocale real(locale);
        CreateWindow();
        WriteIni("[TMainForm]\n" + values);
        ShowWindow();
        QTEST(Find<recorder::TRadioGroup>("rgrpDeflectOptions")->ItemIndex(), "itemIndex");
        QFETCH(QString, duration);
        QFETCH(QString, period);
        QCOMPARE(Find<TSpinEdit>("spedDeflectTime")->Text(), Local(duration.toLatin1()));
        QCOMPARE(Find<TSpinEdit>("spedSamplePeriod")->Text(), Local(period.toLatin1()));
    }

    // A sweep mode outside the two items records periodic sweeps, so the window shows the
    // periodic sweep and stores it as such.
    void sweepModeOutsideTheItemsShowsPeriodic_data() {
        QTest::addColumn<QByteArray>("itemIndex");
        for (const char* index : {"7", "-1", "2"})
            QTest::newRow(index) << QByteArray(index);
    }

    void sweepModeOutsideTheItemsShowsPeriodic() {
        QFETCH(QByteArray, itemIndex);
        WriteIni("[TMainForm]\nrgrpDeflectOptions_ItemIndex=" + itemIndex + "\n");
        ShowWindow();
        const auto checked = Find<recorder::TRadioGroup>("rgrpDeflectOptions")
                                 ->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
        QStringList shown;
        for (const QRadioButton* button : checked)
            if (button->isChecked())
                shown << button->text();
        QCOMPARE(shown, QStringList{QStringLiteral("Переодическая")});
        Form->close();
        QVERIFY2(ReadIni().contains("\nrgrpDeflectOptions_ItemIndex=1\n"), ReadIni().constData());
    }

    // Stored with a point under any locale, and shown with the locale's separator at the next
    // start.
    void valuesRoundTripUnderTheUsersLocale_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("comma") << QLocale(QLocale::Russian, QLocale::Russia);
        QTest::newRow("arabic separator") << QLocale(QLocale::Pashto, QLocale::Afghanistan);
    }
    void valuesRoundTripUnderTheUsersLocale() {
        QFETCH(QLocale, locale);
        const test_support::TRealLocale real(locale);
        ShowNewWindow();
        Find<TSpinEdit>("spedSamplePeriod")->SetValue(1.25L);
        Find<TSpinEdit>("spedDeflectTime")->SetValue(0.5L);
        Form->close();
        const QByteArray stored = ReadIni();
        QVERIFY2(stored.contains("\nspedDeflectTime_Value=0.5\nspedSamplePeriod_Value=1.25\n"),
                 stored.constData());

        ShowNewWindow();
        QCOMPARE(Find<TSpinEdit>("spedSamplePeriod")->Text(), Local("1.2500000"));
        QCOMPARE(Find<TSpinEdit>("spedDeflectTime")->Text(), Local("0.500"));
    }

    // The trigger and the statistics panel's visibility come back at the next start: shown
    // with the falling edge, then hidden with the rising edge.
    void triggerAndStatisticsPanelComeBack() {
        const auto set = [this](int trigger, bool panel) {
            ShowWindow();
            Find<QComboBox>("cmbTrigger")->setCurrentIndex(trigger);
            auto* button = Find<QToolButton>("tbtViewStatistics");
            if (button->isChecked() != panel)
                QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(Find<QDockWidget>("StatisticsDock")->isVisible(), panel);
            Form->close();
            CreateWindow();
        };
        const auto check = [this](const QString& trigger, bool panel) {
            ShowWindow();
            QCOMPARE(Find<QComboBox>("cmbTrigger")->currentText(), trigger);
            QCOMPARE(Find<QDockWidget>("StatisticsDock")->isVisible(), panel);
            QCOMPARE(Find<QToolButton>("tbtViewStatistics")->isChecked(), panel);
        };
        for (const auto& [trigger, text, panel] :
             {std::tuple{2, QStringLiteral("По спаду"), true},
              std::tuple{1, QStringLiteral("По фронту"), false}}) {
            set(trigger, panel);
            if (QTest::currentTestFailed())
                return;
            check(text, panel);
            if (QTest::currentTestFailed())
                return;
        }
    }

    // The placement for this screen size, else the plain one; none at all under other pixels
    // per inch, where the window state still comes back.
    void restoresThePlacementForThisScreen_data() {
        QTest::addColumn<QByteArray>("placement");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<bool>("maximized");
        const QByteArray ppi = QByteArray::number(PixelsPerInch());
        const QByteArray size = ScreenSize().toLatin1();
        QTest::newRow("another screen size")
            << "PixelsPerInch=" + ppi +
                   "\nNormPos(1x1)=1,2,3,4\nNormPos=100,120,760,520\nShowCmd=1\n"
            << QRect(100, 120, 660, 400) << false;
        QTest::newRow("this screen size")
            << "PixelsPerInch=" + ppi + "\nNormPos=100,120,800,520\nNormPos" + size +
                   "=30,40,730,440\nShowCmd=3\n"
            << QRect(30, 40, 700, 400) << true;
        QTest::newRow("other pixels per inch")
            << "PixelsPerInch=" + QByteArray::number(PixelsPerInch() + 24) +
                   "\nNormPos=100,120,800,520\nShowCmd=3\n"
            << InitialContents() << true;
    }

    void restoresThePlacementForThisScreen() {
        QFETCH(QByteArray, placement);
        WriteIni("[TMainForm]\n" + placement);
        ShowWindow();
        QTEST(Form->isMaximized(), "maximized");
        QTEST(Form->normalGeometry(), "geometry");
    }

    // A place that doesn't fit this screen (another screen's, another scale's, or edited by
    // hand), and a first run on a small or scaled screen: the window opens on the screen's free
    // area, frame and all, no larger than it, with the switch, the timing fields and the status
    // line in view. A stored size that fits is kept.
    void windowOpensOnTheScreen_data() {
        QTest::addColumn<QByteArray>("normPos");
        QTest::addColumn<QSize>("size"); // kept where the screen has room for it
        QTest::newRow("first run") << QByteArray() << QSize(674, 395);
        QTest::newRow("off the screen") << QByteArray("3000,3000,3674,3395") << QSize(674, 395);
        QTest::newRow("huge") << QByteArray("0,0,100000,100000") << QSize();
        QTest::newRow("negative") << QByteArray("-5000,-4000,-4400,-3700") << QSize(600, 300);
        QTest::newRow("zero size") << QByteArray("200,150,200,150") << QSize(674, 395);
        QTest::newRow("zero height") << QByteArray("100,100,700,100") << QSize();
        QTest::newRow("upside down") << QByteArray("500,400,100,100") << QSize(674, 395);
    }

    void windowOpensOnTheScreen() {
        QFETCH(QByteArray, normPos);
        QFETCH(QSize, size);
        if (!normPos.isEmpty())
            WriteIni("[TMainForm]\nNormPos=" + normPos + "\n");
        ShowWindow();
        const QRect area = Form->screen()->availableGeometry();
        const QRect frame = Form->frameGeometry();
        QVERIFY2(area.contains(frame), qPrintable(QStringLiteral("the window at %1,%2 %3x%4")
                                                      .arg(frame.left())
                                                      .arg(frame.top())
                                                      .arg(frame.width())
                                                      .arg(frame.height())));
        const QSize framed = frame.size() - Form->size() + size;
        if (size.isValid() && framed.width() <= area.width() && framed.height() <= area.height())
            QCOMPARE(Form->size(), size);
        for (const char* name :
             {"swchStart", "spedDeflectTime", "spedSamplePeriod", "StatusLine"}) {
            const auto* control = Find<QWidget>(name);
            QVERIFY2(control->isVisible(), name);
            QVERIFY2(
                Form->rect().contains(QRect(control->mapTo(Form.get(), QPoint()), control->size())),
                name);
        }
    }

    void unwritableFolderIsReportedAndTheWindowStillCloses() {
        // A file where the folder should be: no user, root included, can write there.
        QVERIFY(QDir(Folder().path()).rmdir(QStringLiteral("talvir")));
        QFile blocker(Path("talvir"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        ShowWindow();
        const QString text = BoxText([&] { Form->close(); });
        QCOMPARE(text, QStringLiteral("Unable to write to %1").arg(WindowIniPath()));
        QVERIFY(!Form->isVisible());
        // Reported once: the window's destruction doesn't try again.
        QCOMPARE(BoxText([&] { Form.reset(); }), QString());
    }

    // A full disk is a file size limit here: the write fails part way, and the old file must
    // still be whole, with no temporary file left beside it.
    void failedWriteLeavesTheOldFileWhole() {
        QByteArray old = "[TMainForm]\nspedSamplePeriod_Value=1.5\n";
        old += QByteArray(200, ';') + '\n';
        WriteIni(old);
        ShowWindow();
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = 64;
        setrlimit(RLIMIT_FSIZE, &limit);
        const QString text = BoxText([&] { Form->close(); });
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(text, QStringLiteral("Unable to write to %1").arg(WindowIniPath()));
        QVERIFY(!Form->isVisible());
        QCOMPARE(ReadIni(), old);
        QCOMPARE(QDir(Path("talvir")).entryList(QDir::Files),
                 QStringList{QFileInfo(WindowIniPath()).fileName()});
    }

    // Lines that aren't settings are reported at the first show and kept by the save.
    void malformedFileIsReportedAndKept() {
        WriteIni("[TMainForm]\nthis is no key\nspedSamplePeriod_Value=1.5\n");
        const QString text = BoxText([&] { ShowWindow(); });
        QCOMPARE(text, QStringLiteral("%1 has lines that are not settings; they are kept as they "
                                      "are:\nline 2: neither a section, a key nor a comment")
                           .arg(WindowIniPath()));
        QCOMPARE(Find<TSpinEdit>("spedSamplePeriod")->Text(), QStringLiteral("1.5000000"));
        Form->close();
        QVERIFY(ReadIni().startsWith("[TMainForm]\nthis is no key\nspedSamplePeriod_Value=1.5\n"));
    }

    // A byte-order mark that an editor put at the start: no report, the values taken, and the
    // save finds the section rather than adding a second one.
    void byteOrderMarkIsNoProblem() {
        WriteIni("\xEF\xBB\xBF[TMainForm]\nspedSamplePeriod_Value=1.5\n");
        QCOMPARE(BoxText([&] { ShowWindow(); }), QString());
        QCOMPARE(Find<TSpinEdit>("spedSamplePeriod")->Text(), QStringLiteral("1.5000000"));
        Form->close();
        QVERIFY(ReadIni().startsWith("\xEF\xBB\xBF[TMainForm]\n"));
        QCOMPARE(ReadIni().count("[TMainForm]"), 1);
    }

    // Destroyed without a close, the window saves with Visible=1; after a close it doesn't save
    // again, and a window never shown saves nothing.
    void destructionSavesOnlyWhatNoCloseSaved() {
        CreateWindow();
        Form.reset();
        QVERIFY(!QFile::exists(WindowIniPath()));

        ShowNewWindow();
        Find<TSpinEdit>("spedDeflectTime")->SetValue(0.5L);
        Form.reset();
        QVERIFY(ReadIni().contains("\nVisible=1\n"));
        QVERIFY(ReadIni().contains("\nspedDeflectTime_Value=0.5\n"));

        ShowNewWindow();
        Form->close();
        Find<TSpinEdit>("spedDeflectTime")->SetValue(0.25L);
        Form.reset();
        QVERIFY(ReadIni().contains("\nVisible=0\n"));
        QVERIFY(ReadIni().contains("\nspedDeflectTime_Value=0.5\n"));
    }

    // An inactive store neither reads nor writes; a file of an older version restores nothing
    // and is brought to the current version by the save.
    void activeAndVersionGateTheStore() {
        WriteIni("[TMainForm]\nFormVersion=1\nspedSamplePeriod_Value=1.5\n");
        auto* storage = Find<settings::TFormStorage>("FormStorage1");
        storage->SetActive(false);
        ShowWindow();
        Form->close();
        QCOMPARE(Find<TSpinEdit>("spedSamplePeriod")->Text(), QStringLiteral("0.0097656"));
        QCOMPARE(ReadIni(), QByteArray("[TMainForm]\nFormVersion=1\nspedSamplePeriod_Value=1.5\n"));

        CreateWindow();
        Find<settings::TFormStorage>("FormStorage1")->SetVersion(2);
        ShowWindow();
        QCOMPARE(Find<TSpinEdit>("spedSamplePeriod")->Text(), QStringLiteral("0.0097656"));
        Form->close();
        QVERIFY(ReadIni().startsWith("[TMainForm]\nFormVersion=2\n"));
        QVERIFY(ReadIni().contains("\nspedSamplePeriod_Value=0.0097656\n"));
    }
};

int main(int argc, char* argv[]) {
    app::TApplication application(argc, argv);
    MainFormStorageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_form_storage_test.moc"
