#pragma once
// What the window tests share: the window in a private settings folder (TWindowTest), its parts
// by name, the modal boxes closed and read, the simulator's received bytes and the regenerated
// PRBS stream.

#include "chart/chart.h"
#include "chart/series.h"
#include "controls/spin_edit.h"
#include "controls/switch.h"
#include "recorder/main_form.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace recording_test {

// Closes every modal box that opens while it lives, once it has been open for `hold`, and keeps
// the texts, in order.
class TBoxCloser {
public:
    explicit TBoxCloser(std::chrono::milliseconds hold = {});
    const QStringList& Texts() const { return texts_; }

private:
    QTimer timer_;
    QStringList texts_;
    QPointer<QMessageBox> open_;
    QElapsedTimer openFor_;
};

// The bytes talvir-devsim logged as received ("rx 52 50 ..." lines), in order.
std::string ReceivedBytes(const std::string& logPath);

// The sample bytes talvir-devsim had streamed when a CR stopped it ("stop, streamed=N"), the
// last such figure of its log; nullopt before the first stop.
std::optional<std::uint64_t> StreamedAtStop(const std::string& logPath);

// The samples of the simulator's PRBS source after a command, generated as far as asked for.
class TPrbs {
public:
    explicit TPrbs(std::uint32_t seed) : state_(seed) {}
    // Sample `index`: 0 or 1.
    std::uint8_t operator[](std::size_t index);
    // Byte `index` as the device sends it: samples 8 × index on, the earliest in bit 7.
    std::uint8_t Byte(std::size_t index);

private:
    std::uint32_t Word(std::size_t index);

    std::uint32_t state_;
    // Kept as generated, 32 samples a word, so that hours of samples stay small.
    std::vector<std::uint32_t> words_;
};

// The child of `parent` of that name and type; ends the test program when there is none.
template <class T> T* FindChild(const QObject& parent, const char* name) {
    auto* found = dynamic_cast<T*>(parent.findChild<QObject*>(QString::fromLatin1(name)));
    if (!found)
        qFatal("no %s", name);
    return found;
}

// The fixture of the window tests, from which each test class derives: a private settings folder
// for each test, and the recorder's window in it, created, shown and exposed, as the program
// starts it. Checks fail the running test function; a window that was not exposed in time stays,
// so that the test function's cleanup finds it.
class TWindowTest : public QObject {
protected:
    // A new, empty settings folder in place of the last one, with its talvir/ folder, where the
    // window's settings and the simulator's port map go; XDG_CONFIG_HOME names it from now on.
    // The window of the last folder goes first. Each test's init() starts with it.
    void NewSettingsFolder();
    // The settings folder; a test keeps its own files there too, by Path().
    const QTemporaryDir& Folder() const { return *folder_; }
    QString Path(const char* name) const { return folder_->filePath(QString::fromLatin1(name)); }
    // The window's settings file in it.
    QString WindowIniPath() const;

    // The window anew, as at the program's next start: the last one destroyed first, which saves
    // its settings, then a new one created. Not shown yet, for a test that prepares the settings
    // or the window first.
    void CreateWindow();
    // Shows the window and waits until it is exposed.
    void ShowWindow();
    // Both.
    void ShowNewWindow();

    // The window's parts by name; the test program ends when there is none.
    template <class T> T* Find(const char* name) const { return FindChild<T>(*Form, name); }
    QAction* Action(const char* name) const;

    std::unique_ptr<recorder::TMainForm> Form;

private:
    std::unique_ptr<QTemporaryDir> folder_;
};

// The window's controls by their names.
struct TWindowParts {
    explicit TWindowParts(recorder::TMainForm& form);

    controls::TSwitch* Switch;
    QLabel* StartLabel;
    controls::TSpinEdit* SamplePeriod;
    controls::TSpinEdit* DeflectTime;
    QWidget* DeflectOptions;
    chart::TChart* Chart;
    chart::TChartSeries* Series;
};

// Types a value into a spin edit and leaves it, as the operator does.
void Confirm(controls::TSpinEdit* edit, const QString& dotted);

// Wraps the window's data handler, set by a start: `after` runs after each delivery with the
// count of bytes the handler was offered.
void AfterEachDelivery(recorder::TMainForm& form, std::function<void(std::uint16_t)> after);

// A click on the switch's middle.
void ClickSwitch(controls::TSwitch* sw);
// A double click there, as the window receives it.
void DoubleClickSwitch(controls::TSwitch* sw);

// Runs `open`; when the file dialog of that name opens meanwhile, `path` is typed into its name
// field and confirmed (a name it refuses closes it unconfirmed). True when the dialog opened.
bool WithFile(QWidget& form, const char* dialogName, const QString& path,
              const std::function<void()>& open);

// Triggers the window's action; when the file dialog of that name opens, `path` is typed into
// its name field and confirmed (a name it refuses closes it unconfirmed). True when the dialog
// opened.
bool TriggerWithFile(QWidget& form, const char* action, const char* dialogName,
                     const QString& path);

// Opens the "Декодер" panel, waits for the library's list, and chooses the decoder of `id` on the
// line with its options' values typed, or picked from their choices, as the operator does. False
// when the list did not come or the decoder, an option or a value is not there.
bool ChooseDecoder(recorder::TMainForm& form, const char* id,
                   const std::vector<std::pair<QString, QString>>& options);

// The bytes of a file; empty when there is none.
std::string FileBytes(const QString& path);

} // namespace recording_test
