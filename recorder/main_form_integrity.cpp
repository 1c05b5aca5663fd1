// The monitor of a recording: the received byte rate against the device's, twice a second, in a
// status panel of its own, with a note while a triggered sweep finds no edge.

#include "recorder/main_form.h"

#include "acquisition/timing.h"
#include "controls/spin_edit.h"

#include <QLabel>
#include <QTimer>

#include <chrono>

namespace recorder {

namespace {

constexpr auto MonitorInterval = std::chrono::milliseconds(500);

double Seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void TMainForm::WireIntegrity() {
    // After the port summary and the cursor readout, before the hint.
    StatusPanel2 = AddStatusPanel("StatusPanel2", 2);
    MonitorTimer = new QTimer(this);
    MonitorTimer->setInterval(MonitorInterval);
    connect(MonitorTimer, &QTimer::timeout, this, [this] { ShowIntegrity(); });
}

void TMainForm::StartIntegrity() {
    const double line = acquisition::LineByteRate(
        Port_.Baud(), Port_.DataBits(), Port_.Parity() != serial::pNone, Port_.StopBits());
    Integrity.Start(
        acquisition::DeviceByteRate(acquisition::PeriodToDivider(spedSamplePeriod->Value())), line,
        Seconds());
    // Counted around the data handler, whichever sweep it decodes.
    auto handler = Port_.OnTriggerAvail;
    Port_.OnTriggerAvail = [this, handler](serial::TSerialPort* CP, std::uint16_t Count) {
        Integrity.Received(Count);
        handler(CP, Count);
    };
    StatusPanel2->setText(QString());
    StatusPanel2->setStyleSheet(QString());
    StatusPanel2->show();
    MonitorTimer->start();
}

void TMainForm::StopIntegrity() {
    if (!MonitorTimer->isActive())
        return;
    MonitorTimer->stop();
    IntegrityTotals = Integrity.Totals(Seconds());
    StatusPanel2->hide();
}

void TMainForm::ShowIntegrity() {
    const acquisition::TIntegrityFigures figures =
        Integrity.Tick(Seconds(), Port_.ReceivedWaiting());
    QString text = acquisition::IntegrityText(figures);
    if (Sweep.NoTrigger())
        text = QStringLiteral("Нет запуска; ") + text;
    StatusPanel2->setText(text);
    StatusPanel2->setStyleSheet(figures.Missing > 0 ? QStringLiteral("color: red") : QString());
}

} // namespace recorder
