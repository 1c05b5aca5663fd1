#pragma once
// What the recording tests share: the window's parts by name, the modal boxes closed and read,
// the simulator's received bytes and the regenerated PRBS stream.

#include "chart/chart.h"
#include "chart/series.h"
#include "controls/spin_edit.h"
#include "controls/switch.h"
#include "recorder/main_form.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <string>
#include <vector>

namespace recording_test {

// Closes every modal box that opens while it lives and keeps the texts, in order.
class TBoxCloser {
public:
    TBoxCloser();
    const QStringList& Texts() const { return texts_; }

private:
    QTimer timer_;
    QStringList texts_;
};

// The bytes talvir-devsim logged as received ("rx 52 50 ..." lines), in order.
std::string ReceivedBytes(const std::string& logPath);

// The samples of the simulator's PRBS source after a command, generated as far as asked for.
class TPrbs {
public:
    explicit TPrbs(std::uint32_t seed) : state_(seed) {}
    std::uint8_t operator[](std::size_t index);

private:
    std::uint32_t state_;
    std::vector<std::uint8_t> samples_;
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

} // namespace recording_test
