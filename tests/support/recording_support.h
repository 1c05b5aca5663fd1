#pragma once
// What the recording tests share: the window's parts by name, the modal boxes closed and read,
// the simulator's received bytes and the regenerated PRBS stream.

#include "chart/chart.h"
#include "chart/series.h"
#include "controls/spin_edit.h"
#include "controls/switch.h"
#include "recorder/main_form.h"

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
#include <memory>
#include <optional>
#include <string>
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

// A click on the switch's middle.
void ClickSwitch(controls::TSwitch* sw);
// A double click there, as the window receives it.
void DoubleClickSwitch(controls::TSwitch* sw);

// Triggers the window's action; when the file dialog of that name opens, `path` is typed into
// its name field and confirmed (a name it refuses closes it unconfirmed). True when the dialog
// opened.
// A settings folder kept for a whole test program, whose port map the simulator writes to: the
// window's settings and ports.ini go there. False when the folder could not be made.
bool UseSettingsFolder(const QTemporaryDir& config);

// Removes the window's settings from `config`, so that the next window starts as on a first run;
// the port map stays.
void ForgetWindowSettings(const QTemporaryDir& config);

// Each window test's start: the window's settings in `settings`, a fresh folder of the test's own
// away from the user's, and the window shown. Null when it was not exposed in time.
std::unique_ptr<recorder::TMainForm> ShowFreshWindow(const QTemporaryDir& settings);

bool TriggerWithFile(QWidget& form, const char* action, const char* dialogName,
                     const QString& path);

// The bytes of a file; empty when there is none.
std::string FileBytes(const QString& path);

} // namespace recording_test
