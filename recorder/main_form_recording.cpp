// A recording from the switch to the stop: the sweep set up on the chart, the device dialogue on
// the serial port, the decoding of received bytes into the trace, and the ways a recording ends.

#include "acquisition/device_session.h"
#include "chart/chart.h"
#include "controls/spin_edit.h"
#include "controls/switch.h"
#include "recorder/busy_cursor.h"
#include "recorder/main_form.h"
#include "recorder/message_box.h"
#include "recorder/radio_group.h"
#include "recorder/report.h"
#include "serial/errors.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QScopeGuard>

#include <algorithm>
#include <utility>

namespace recorder {

// The handlers a recording needs from the port and the switch.
void TMainForm::WireRecording() {
    Port_.OnTriggerLineError = [this](serial::TSerialPort* CP, std::uint16_t Error,
                                      bool LineBreak) {
        PortTriggerLineError(CP, Error, LineBreak);
    };
    Port_.OnDeviceLost = [this](serial::TSerialPort* CP, int Code) { PortDeviceLost(CP, Code); };
    // The lever shows the recorder's state: a click only asks for a start or a stop.
    swchStart->SetAutoToggle(false);
    swchStart->OnClick = [this](QObject* Sender) {
        RunReporting([this, Sender] { swchStartClick(Sender); });
    };
}

void TMainForm::swchStartClick(QObject*) {
    switch (RecordingState.Click()) {
    case acquisition::TRecordingState::TClick::Start:
        StartRecording();
        break;
    case acquisition::TRecordingState::TClick::Stop:
        ShowStopped();
        StopDevice();
        break;
    case acquisition::TRecordingState::TClick::Ignore:
        break;
    }
}

void TMainForm::StartRecording() {
    swchStart->SetStateOn(true);
    try {
        if (!AskDiskFile()) {
            ShowStopped();
            StopDevice();
            return;
        }
        PrepareSweep();
        // A stop that ran while pending messages were handled has closed the port again.
        if (RecordingState.State() != acquisition::TRecorderState::Starting)
            return;
        StartDevice();
    } catch (...) {
        // Whatever step failed, nothing of the start is left running when the error is reported:
        // the window stopped, the switch off and the port closed, so that the next click starts
        // anew.
        ShowStopped();
        StopDevice();
        throw;
    }
}

void TMainForm::PrepareSweep() {
    TBusyCursor busy;
    LeaveRecordingView();
    Series1->ClearPoints();
    const long double period = spedSamplePeriod->Value();
    const std::int32_t n = acquisition::SweepLength(spedDeflectTime->Value(), period);
    SweepLength_ = n;
    // Straight to 0 .. N × T whatever range a zoom, a scroll or a loaded file left.
    Chart->BottomAxis().SetRange(0, static_cast<double>(period * n));
    chart::SetValueListCapacity(n);
    for (std::int32_t b = 0; b < n; ++b)
        Series1->AddPoint(static_cast<double>(b * period), 0);
    Series1->RequestRedraw();
    Sweep.Start(rgrpDeflectOptions->ItemIndex() == 0 ? acquisition::TSweep::smSingle
                                                     : acquisition::TSweep::smPeriodic,
                n, Trigger());
    SweepBuffers.Start(*Series1, n);
    ShowStatusNote(QString());
    // Without a number the port asks for one as it opens; the summary shows the port chosen, also
    // when the open then fails.
    const auto summary = qScopeGuard([this] { ShowPortSummary(); });
    Port_.SetOpen(true);
    lblStart->setText(QStringLiteral("Стоп"));
    spedSamplePeriod->setEnabled(false);
    rgrpDeflectOptions->setEnabled(false);
    cmbTrigger->setEnabled(false);
    spedDeflectTime->setEnabled(false);
    // The file, if any, is the recording's from its start to its stop.
    actRecordToFile->setEnabled(false);
    QApplication::processEvents();
}

void TMainForm::ShowStopped() {
    lblStart->setText(QStringLiteral("Старт"));
    swchStart->SetStateOn(false);
    spedSamplePeriod->setEnabled(true);
    rgrpDeflectOptions->setEnabled(true);
    cmbTrigger->setEnabled(true);
    spedDeflectTime->setEnabled(true);
    actRecordToFile->setEnabled(true);
}

void TMainForm::StartDevice() {
    TBusyCursor busy;
    LineStatusWatch = acquisition::WatchLineErrors(Port_);
    if (!DeviceHandshake()) {
        ShowStopped();
        StopDevice();
        return;
    }
    StartDisk();
    if (Sweep.Mode() == acquisition::TSweep::smSingle) {
        Port_.OnTriggerAvail = [this](serial::TSerialPort* CP, std::uint16_t Count) {
            SingleDataAvail(CP, Count);
        };
    } else {
        Port_.OnTriggerAvail = [this](serial::TSerialPort* CP, std::uint16_t Count) {
            PeriodicDataAvail(CP, Count);
        };
    }
    RecordingState.Started();
    StartIntegrity();
}

bool TMainForm::DeviceHandshake() {
    switch (acquisition::StartSampling(Port_, chbTest->isChecked(),
                                       acquisition::PeriodToDivider(spedSamplePeriod->Value()))) {
    case acquisition::TStartAnswer::Started:
        return true;
    case acquisition::TStartAnswer::NoPrompt:
        ShowErrorBox(this, QStringLiteral("Прибор не готов к работе"));
        return false;
    case acquisition::TStartAnswer::NoEcho:
        break;
    }
    ShowErrorBox(this, QStringLiteral("Прибор не подтвердил команду"));
    return false;
}

void TMainForm::StopDevice() {
    // Removed once: a start that failed before registering its watch has none to remove.
    if (LineStatusWatch != 0)
        Port_.RemoveStatusWatch(std::exchange(LineStatusWatch, 0));
    Port_.OnTriggerAvail = nullptr;
    StopIntegrity();
    if (RecordingState.Stop())
        SweepBuffers.Finish(Sweep.UnderWay());
    acquisition::EndSampling(Port_);
    StopDisk();
}

// The data handlers decode into a buffer of their own; every completed sweep takes the trace's
// place and is drawn (the chart merges requests that come faster than it paints).
void TMainForm::PeriodicDataAvail(serial::TSerialPort*, std::uint16_t Count) {
    for (const std::uint8_t byte : TakeReceived(Count))
        Sweep.Feed(byte, SweepBuffers);
}

void TMainForm::SingleDataAvail(serial::TSerialPort*, std::uint16_t Count) {
    for (const std::uint8_t byte : TakeReceived(Count)) {
        if (Sweep.Feed(byte, SweepBuffers).Finished) {
            // The screen has its sweep. Recording to disk, the device streams on into the file
            // until the operator stops it; otherwise the rest is not wanted and the close drops
            // it.
            if (!Disk) {
                ShowStopped();
                StopDevice();
            }
            return;
        }
    }
}

void TMainForm::PortTriggerLineError(serial::TSerialPort*, std::uint16_t Error, bool) {
    AbortRecording(QString::fromUtf8(acquisition::kLineErrorPrefix) +
                   QString::fromUtf8(acquisition::LineErrorText(Error)));
}

void TMainForm::PortDeviceLost(serial::TSerialPort*, int Code) {
    // Lost during a start, the handshake reports it as a device that does not answer.
    if (RecordingState.State() != acquisition::TRecorderState::Recording)
        return;
    AbortRecording(QStringLiteral("Связь с прибором потеряна: ") +
                   QString::fromStdString(serial::ErrorText(static_cast<unsigned>(-Code))));
}

void TMainForm::AbortRecording(const QString& message) {
    // The recording's counts end here, not when the operator closes the box.
    StopIntegrity();
    ShowErrorBox(this, message);
    ShowStopped();
    // The stop puts the samples of the unfinished sweep onto the trace.
    StopDevice();
    Series1->RequestRedraw();
}

void TMainForm::FormClose(QObject*) {
    if (Port_.Open())
        StopDevice();
}

} // namespace recorder
