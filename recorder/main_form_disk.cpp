// Recording to disk: with "Запись в файл" on, a start asks for a .tlr file and every byte the
// device sends until the stop goes into it, whatever the sweeps show. The file is written on a
// thread of its own; a status panel shows the time and the file's size while it grows.

#include "acquisition/timing.h"
#include "capture/recording_thread.h"
#include "controls/spin_edit.h"
#include "recorder/main_form.h"
#include "recorder/message_box.h"
#include "recorder/radio_group.h"

#include <QAction>
#include <QDateTime>
#include <QFileDialog>
#include <QLabel>
#include <QTimer>
#include <QToolBar>

#include <chrono>
#include <cmath>

namespace recorder {

namespace {

constexpr auto DiskPanelInterval = std::chrono::milliseconds(500);

capture::TTrigger HeaderTrigger(acquisition::TSweep::TMode mode,
                                acquisition::TSweep::TTrigger trigger) {
    if (mode == acquisition::TSweep::smSingle)
        return capture::trFirstChange;
    switch (trigger) {
    case acquisition::TSweep::tgRising:
        return capture::trRising;
    case acquisition::TSweep::tgFalling:
        return capture::trFalling;
    case acquisition::TSweep::tgFree:
        break;
    }
    return capture::trNone;
}

QString SizeText(std::uint64_t bytes) {
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 КБ").arg(static_cast<double>(bytes) / 1024, 0, 'f', 1);
    return QStringLiteral("%1 МБ").arg(static_cast<double>(bytes) / (1024 * 1024), 0, 'f', 1);
}

} // namespace

void TMainForm::WireDisk() {
    ToolBar1->addSeparator();
    ToolBar1->addAction(actRecordToFile);
    ToolBar1->widgetForAction(actRecordToFile)->setObjectName(QStringLiteral("tbtRecordToFile"));

    DiskDialog = new QFileDialog(this);
    DiskDialog->setObjectName(QStringLiteral("RecordingFileDialog"));
    DiskDialog->setAcceptMode(QFileDialog::AcceptSave);
    DiskDialog->setFileMode(QFileDialog::AnyFile);
    DiskDialog->setNameFilter(QStringLiteral("Recording (*.tlr)"));
    DiskDialog->setDefaultSuffix(QStringLiteral("tlr"));

    // Beside the integrity monitor, before the hint.
    DiskPanel = AddStatusPanel("DiskPanel", 3);
    DiskTimer = new QTimer(this);
    DiskTimer->setInterval(DiskPanelInterval);
    connect(DiskTimer, &QTimer::timeout, this, [this] { ShowDisk(); });
}

bool TMainForm::AskDiskFile() {
    DiskPath.clear();
    if (!actRecordToFile->isChecked())
        return true;
    DiskDialog->selectFile(QDateTime::currentDateTime().toString(
        QStringLiteral("'talvir-'yyyy-MM-dd-HHmm'.tlr'")));
    if (DiskDialog->exec() != QDialog::Accepted || DiskDialog->selectedFiles().isEmpty())
        return false;
    DiskPath = DiskDialog->selectedFiles().front();
    return true;
}

void TMainForm::StartDisk() {
    if (DiskPath.isEmpty())
        return;
    capture::THeader header;
    header.Divider =
        static_cast<std::uint32_t>(acquisition::PeriodToDivider(spedSamplePeriod->Value()));
    header.StartMicroseconds = std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count();
    header.Baud = static_cast<std::uint32_t>(Port_.Baud());
    header.DataBits = static_cast<std::uint8_t>(Port_.DataBits());
    header.Parity = static_cast<std::uint8_t>(Port_.Parity());
    header.StopHalfBits = static_cast<std::uint8_t>(2 * Port_.StopBits());
    header.SweepMode = Sweep.Mode() == acquisition::TSweep::smSingle ? capture::smSingle
                                                                     : capture::smPeriodic;
    header.SweepMilliseconds =
        static_cast<std::uint32_t>(std::lround(static_cast<double>(spedDeflectTime->Value()) * 1000));
    header.Trigger = HeaderTrigger(Sweep.Mode(), Sweep.Trigger());
    header.ProgramVersion = "Тальвир " TALVIR_VERSION;
    Disk = std::make_unique<capture::TRecordingThread>(DiskPath.toStdString(), header);
    DiskStart = std::chrono::steady_clock::now();
    DiskPanel->setStyleSheet(QString());
    ShowDisk();
    DiskPanel->show();
    DiskTimer->start();
}

void TMainForm::StopDisk() {
    if (!Disk)
        return;
    DiskTimer->stop();
    Disk->Close();
    const std::optional<std::string> error = Disk->TakeError();
    Disk.reset();
    DiskPanel->hide();
    if (error)
        ShowDiskError(*error);
}

void TMainForm::ShowDisk() {
    if (const std::optional<std::string> error = Disk->TakeError()) {
        DiskPanel->setText(QStringLiteral("Запись в файл прекращена"));
        DiskPanel->setStyleSheet(QStringLiteral("color: red"));
        ShowDiskError(*error);
        return;
    }
    if (Disk->Failed())
        return;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::steady_clock::now() - DiskStart)
                             .count();
    DiskPanel->setText(QStringLiteral("Запись в файл: %1:%2:%3, %4")
                           .arg(seconds / 3600)
                           .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                           .arg(seconds % 60, 2, 10, QLatin1Char('0'))
                           .arg(SizeText(Disk->FileSize())));
}

void TMainForm::ShowDiskError(const std::string& error) {
    // The recording goes on; only the file stopped growing.
    ShowErrorBox(this, QStringLiteral("Запись в файл прекращена; файл хранит всё до последнего "
                                      "целого блока.\n") +
                           QString::fromStdString(error));
}

std::span<const std::uint8_t> TMainForm::TakeReceived(std::uint16_t count) {
    Received.resize(count);
    for (std::uint8_t& byte : Received)
        byte = Port_.ReadChar();
    if (Disk)
        Disk->Push(Received.data(), Received.size());
    return Received;
}

} // namespace recorder
