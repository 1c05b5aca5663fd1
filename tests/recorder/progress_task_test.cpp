// A long pass over a recording off the window thread: its result, its failure, the operator's
// cancel through the dialog, and the window's input held off while it runs.
#include "files/io_error.h"
#include "recorder/progress_task.h"

#include <QAbstractButton>
#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

using recorder::RunWithProgress;

namespace {

// Works until cancelled, saying it is a quarter done.
std::optional<int> UntilCancelled(const capture::TScanControl& control) {
    control.Progress(0.25);
    while (!*control.Cancel)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return std::nullopt;
}

// Once the dialog shows: `act` on it. The watch ends with `owner` at the latest.
template <typename Act> void WhenDialogShows(QObject* owner, Act act) {
    auto* poll = new QTimer(owner);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QProgressDialog*>(widget);
                dialog && dialog->isVisible()) {
                poll->stop();
                poll->deleteLater();
                act(*dialog);
                return;
            }
    });
    poll->start(20);
}

} // namespace

class TProgressTaskTest : public QObject {
    Q_OBJECT

private slots:
    void givesTheResultOfAQuickPassWithoutADialog() {
        QWidget window;
        bool dialogShown = false;
        WhenDialogShows(&window, [&](QProgressDialog&) { dialogShown = true; });
        const auto result = RunWithProgress<int>(
            &window, QStringLiteral("Счёт"),
            [](const capture::TScanControl&) { return std::optional<int>(42); });
        QCOMPARE(result, std::optional<int>(42));
        QTest::qWait(100);
        QVERIFY(!dialogShown);
    }

    void throwsTheFailureOnTheWindowThread() {
        QWidget window;
        const std::thread::id windowThread = std::this_thread::get_id();
        std::thread::id workThread;
        try {
            RunWithProgress(&window, QStringLiteral("Чтение"),
                            [&](const capture::TScanControl&) {
                                workThread = std::this_thread::get_id();
                                throw files::EInOutError("Read error", "rec.tlr");
                            });
            QFAIL("no exception");
        } catch (const files::EInOutError& e) {
            QCOMPARE(e.Text(), std::string("Read error"));
        }
        QVERIFY(workThread != windowThread);
    }

    void cancelInTheDialogEndsThePass() {
        QWidget window;
        window.show();
        int shownProgress = -1;
        WhenDialogShows(&window, [&](QProgressDialog& dialog) {
            // The progress reaches the dialog before the operator gives up.
            QTimer::singleShot(200, &dialog, [&] {
                shownProgress = dialog.value();
                auto* cancel = dialog.findChild<QPushButton*>();
                QVERIFY(cancel);
                QTest::mouseClick(cancel, Qt::LeftButton);
            });
        });
        const auto result = RunWithProgress<int>(&window, QStringLiteral("Статистика"),
                                                 UntilCancelled);
        QVERIFY(!result);
        QCOMPARE(shownProgress, 250);
    }

    void theWindowTakesNoInputWhileThePassRuns() {
        QWidget window;
        auto* button = new QPushButton(QStringLiteral("Открыть"), &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        int clicks = 0;
        connect(button, &QPushButton::clicked, [&] { ++clicks; });

        // Before the dialog shows and while it shows, a click on the window is lost.
        QTimer::singleShot(100, button, [&] { QTest::mouseClick(button, Qt::LeftButton); });
        WhenDialogShows(&window, [&](QProgressDialog& dialog) {
            QTest::mouseClick(button, Qt::LeftButton);
            QTest::mouseClick(dialog.findChild<QPushButton*>(), Qt::LeftButton);
        });
        RunWithProgress<int>(&window, QStringLiteral("Поиск"), UntilCancelled);
        QCOMPARE(clicks, 0);

        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicks, 1);
    }
};

QTEST_MAIN(TProgressTaskTest)
#include "progress_task_test.moc"
