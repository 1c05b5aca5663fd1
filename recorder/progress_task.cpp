#include "recorder/progress_task.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

namespace recorder {

namespace {

// A pass shorter than this shows no dialog at all.
constexpr std::chrono::milliseconds DialogDelay{400};
// How often the window thread looks at the pass: its progress for the dialog, and its end. The
// worker posts nothing to the window thread; an atomic flag read here tells it has ended.
constexpr std::chrono::milliseconds PollStep{20};
constexpr int ProgressSteps = 1000;

// While the pass runs only the dialog takes input: a click that closed the window or opened
// another recording would pull the recording away from under the pass. Before the dialog shows,
// input to the window is dropped, as a busy window would seem to drop it.
class TInputGuard : public QObject {
public:
    explicit TInputGuard(const QWidget& dialog) : dialog_(dialog) {
        qApp->installEventFilter(this);
    }
    ~TInputGuard() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* target, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Close:
            break;
        default:
            return false;
        }
        const auto* widget = qobject_cast<const QWidget*>(target);
        return !(widget && (widget == &dialog_ || dialog_.isAncestorOf(widget)));
    }

private:
    const QWidget& dialog_;
};

} // namespace

bool RunWithProgress(QWidget* parent, const QString& label,
                     const std::function<void(const capture::TScanControl&)>& work) {
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::atomic<int> done{0};
    std::exception_ptr error;

    QProgressDialog dialog(label, QStringLiteral("Отмена"), 0, ProgressSteps, parent);
    dialog.setObjectName(QStringLiteral("ProgressDialog"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(static_cast<int>(DialogDelay.count()));
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    QObject::connect(&dialog, &QProgressDialog::canceled, [&cancel] { cancel = true; });
    const TInputGuard guard(dialog);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
        dialog.setValue(done);
        if (finished)
            loop.quit();
    });
    poll.start(PollStep);
    std::thread worker([&] {
        try {
            work(capture::TScanControl{&cancel, [&done](double share) {
                                           done = static_cast<int>(share * ProgressSteps);
                                       }});
        } catch (...) {
            error = std::current_exception();
        }
        finished = true;
    });
    loop.exec();
    worker.join();
    if (error)
        std::rethrow_exception(error);
    return !cancel;
}

} // namespace recorder
