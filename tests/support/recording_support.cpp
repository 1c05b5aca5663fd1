#include "support/recording_support.h"

#include "recorder/radio_group.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QtTest>

#include <fstream>
#include <functional>
#include <sstream>

namespace recording_test {

TBoxCloser::TBoxCloser(std::chrono::milliseconds hold) {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this, hold] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (box != open_) {
            open_ = box;
            openFor_.start();
        }
        if (openFor_.elapsed() < hold.count())
            return;
        texts_ << box->text();
        box->done(0);
    });
    timer_.start();
}

std::string ReceivedBytes(const std::string& logPath) {
    std::ifstream log(logPath);
    std::string line;
    std::string bytes;
    while (std::getline(log, line)) {
        std::istringstream words(line);
        std::string seconds, kind;
        words >> seconds >> kind;
        if (kind != "rx")
            continue;
        std::string hex;
        while (words >> hex)
            bytes += static_cast<char>(std::stoi(hex, nullptr, 16));
    }
    return bytes;
}

std::optional<std::uint64_t> StreamedAtStop(const std::string& logPath) {
    static const std::string marker = "stop, streamed=";
    std::ifstream log(logPath);
    std::string line;
    std::optional<std::uint64_t> streamed;
    while (std::getline(log, line)) {
        const auto at = line.find(marker);
        if (at != std::string::npos)
            streamed = std::stoull(line.substr(at + marker.size()));
    }
    return streamed;
}

std::uint32_t TPrbs::Word(std::size_t index) {
    while (words_.size() <= index) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        words_.push_back(state_);
    }
    return words_[index];
}

std::uint8_t TPrbs::operator[](std::size_t index) {
    return static_cast<std::uint8_t>((Word(index / 32) >> (31 - index % 32)) & 1u);
}

std::uint8_t TPrbs::Byte(std::size_t index) {
    return static_cast<std::uint8_t>(Word(index / 4) >> (24 - 8 * (index % 4)));
}

TWindowParts::TWindowParts(recorder::TMainForm& form)
    : Switch(FindChild<controls::TSwitch>(form, "swchStart")),
      StartLabel(FindChild<QLabel>(form, "lblStart")),
      SamplePeriod(FindChild<controls::TSpinEdit>(form, "spedSamplePeriod")),
      DeflectTime(FindChild<controls::TSpinEdit>(form, "spedDeflectTime")),
      DeflectOptions(FindChild<recorder::TRadioGroup>(form, "rgrpDeflectOptions")),
      Chart(FindChild<chart::TChart>(form, "Chart")), Series(Chart->Series(0)) {}

void Confirm(controls::TSpinEdit* edit, const QString& dotted) {
    QLineEdit* editor = edit->Editor();
    editor->setFocus(Qt::MouseFocusReason);
    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_Delete);
    QTest::keyClicks(editor, QString(dotted).replace(u'.', QLocale().decimalPoint()));
    QTest::keyClick(editor, Qt::Key_Tab);
}

namespace {
// Separate clicks, as an operator's: two within the double-click time make a double click.
void AfterTheLastClick(const std::function<void()>& click) {
    static QElapsedTimer last;
    const qint64 interval = QApplication::doubleClickInterval() + 50;
    if (last.isValid() && last.elapsed() < interval)
        QTest::qWait(static_cast<int>(interval - last.elapsed()));
    click();
    last.start();
}
} // namespace

void AfterEachDelivery(recorder::TMainForm& form, std::function<void(std::uint16_t)> after) {
    auto handler = form.Port().OnTriggerAvail;
    form.Port().OnTriggerAvail = [handler, after = std::move(after)](serial::TSerialPort* cp,
                                                                     std::uint16_t count) {
        handler(cp, count);
        after(count);
    };
}

void ClickSwitch(controls::TSwitch* sw) {
    AfterTheLastClick([sw] { QTest::mouseClick(sw, Qt::LeftButton, {}, sw->rect().center()); });
}

void DoubleClickSwitch(controls::TSwitch* sw) {
    // Sent to the window, so that the platform's press-release-double-click sequence reaches the
    // switch.
    AfterTheLastClick([sw] {
        QTest::mouseDClick(sw->window()->windowHandle(), Qt::LeftButton, {},
                           sw->mapTo(sw->window(), sw->rect().center()));
    });
}

void TWindowTest::NewSettingsFolder() {
    Form.reset();
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
    qputenv("XDG_CONFIG_HOME", folder_->path().toLocal8Bit());
    QVERIFY(QDir().mkpath(folder_->filePath(QStringLiteral("talvir"))));
}

QString TWindowTest::WindowIniPath() const {
    return folder_->filePath(
        QStringLiteral("talvir/%1.INI")
            .arg(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName()));
}

void TWindowTest::CreateWindow() {
    Form.reset();
    Form = std::make_unique<recorder::TMainForm>();
}

void TWindowTest::ShowWindow() {
    Form->show();
    QVERIFY(QTest::qWaitForWindowExposed(Form.get()));
}

void TWindowTest::ShowNewWindow() {
    CreateWindow();
    ShowWindow();
}

QAction* TWindowTest::Action(const char* name) const {
    return FindChild<QAction>(*Form, name);
}

bool WithFile(QWidget& form, const char* dialogName, const QString& path,
              const std::function<void()>& open) {
    bool opened = false;
    // Looked for until it opens: `open` may wait before it opens the dialog.
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &form, [&form, &opened, &poll, dialogName, path] {
        auto* dialog = form.findChild<QFileDialog*>(QString::fromLatin1(dialogName));
        if (!dialog || !dialog->isVisible())
            return;
        poll.stop();
        opened = true;
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
        static_cast<QDialog*>(dialog)->accept();
        if (dialog->isVisible())
            static_cast<QDialog*>(dialog)->reject();
    });
    poll.start();
    open();
    return opened;
}

bool TriggerWithFile(QWidget& form, const char* action, const char* dialogName,
                     const QString& path) {
    return WithFile(form, dialogName, path,
                    [&] { form.findChild<QAction*>(QString::fromLatin1(action))->trigger(); });
}

bool ChooseDecoder(recorder::TMainForm& form, const char* id,
                   const std::vector<std::pair<QString, QString>>& options) {
    auto* show = form.findChild<QAction*>(QStringLiteral("actViewDecoder"));
    if (!show->isChecked())
        show->trigger();
    QComboBox* chooser = nullptr;
    if (!QTest::qWaitFor([&] { return chooser = form.findChild<QComboBox*>(QStringLiteral("cmbDecoder0")); }, 30000))
        return false;
    const int index = chooser->findData(QString::fromLatin1(id));
    if (index <= 0)
        return false;
    chooser->setCurrentIndex(index);
    emit chooser->activated(index);
    for (const auto& [option, value] : options) {
        // The editors are made anew after each change.
        const QString name = QStringLiteral("edDecoderOption_0_") + option;
        QWidget* editor = nullptr;
        if (!QTest::qWaitFor([&] {
                editor = form.findChild<QWidget*>(name);
                return editor && editor->isVisible();
            }))
            return false;
        if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
            edit->setText(value);
            edit->setModified(true);
            emit edit->editingFinished();
        } else if (auto* list = qobject_cast<QComboBox*>(editor); list && list->findText(value) >= 0) {
            list->setCurrentIndex(list->findText(value));
            emit list->activated(list->currentIndex());
        } else {
            return false;
        }
    }
    return true;
}

std::string FileBytes(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

} // namespace recording_test
