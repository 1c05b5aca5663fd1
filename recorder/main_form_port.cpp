// The port settings command: the dialog on the window's port, and the status line after it.

#include "port_dialogs/port_options_form.h"
#include "recorder/main_form.h"
#include "recorder/report.h"

#include <QAction>
#include <QScopeGuard>

#include <cstdint>

namespace recorder {

void TMainForm::WirePort() {
    connect(actPortSet, &QAction::triggered, this,
            [this] { RunReporting([this] { actPortSetExecute(actPortSet); }); });
    // An adapter plugged in before the start gets its number now, so that a machine without
    // serial ports finds its first adapter on COM1, where every run starts. The port dialog
    // shows a failure again, where the operator looks for the port.
    if (const serial::TRegistration registration = serial::RegisterAdapters();
        !registration.Error.empty())
        qWarning("ports.ini: %s", registration.Error.c_str());
}

void TMainForm::actPortSetExecute(QObject*) {
    // Also on a failure, before it is reported: the settings copied before the failing one stay
    // applied, and the summary shows them.
    const auto summary = qScopeGuard([this] { ShowPortSummary(); });
    port_dialogs::TComPortOptions dialog(this);
    dialog.LoadFromPort(Port_);
    if (!dialog.Execute())
        return;
    // Reopened on another number, the port would wait for data from a device never told to send,
    // while the old one streamed on: the recording ends first, with its CR to the old device.
    const std::uint16_t from = Port_.ComNumber();
    const std::uint16_t to = dialog.ScratchPort().ComNumber();
    if (RecordingState.State() != acquisition::TRecorderState::Stopped && to != from) {
        ShowStopped();
        StopDevice();
        ShowStatusNote(QStringLiteral("Запись остановлена: порт сменён с %1 на %2")
                           .arg(QString::fromStdString(serial::PortName(from)),
                                QString::fromStdString(serial::PortName(to))));
    }
    dialog.ApplyToPort(Port_);
}

} // namespace recorder
