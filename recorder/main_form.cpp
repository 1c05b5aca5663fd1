#include "recorder/main_form.h"

#include "capture/recording_thread.h"
#include "chart/chart.h"
#include "controls/slider.h"
#include "controls/spin_edit.h"
#include "controls/switch.h"
#include "decode/worker.h"
#include "port_dialogs/com_select_form.h"
#include "recorder/radio_group.h"
#include "recorder/recording_view.h"

#include <QAction>
#include <QLabel>
#include <QStatusTipEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace recorder {

namespace {
// Enter confirms a typed time; the spin edits pass it on as a carriage return.
constexpr char16_t EnterKey = u'\r';
} // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Регистратор двоичного сигнала"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    move(60, 85);
    resize(674, 395);

    // The port starts every run on COM1 at 115200 baud with a receive queue large enough for a
    // burst of samples; only a recording opens it.
    Port_.SetComNumber(1);
    Port_.SetBaud(115200);
    Port_.SetInSize(65535);
    Port_.SetAutoOpen(false);
    Port_.SetTapiMode(serial::tmOff);
    Port_.SetPortPrompt(port_dialogs::SelectComPort);

    BuildActions();
    BuildToolBar();

    auto* client = new QWidget(this);
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    BuildGridPanel(client);
    column->addWidget(Panel2);
    BuildChart(client);
    column->addWidget(Chart, 1);
    BuildAcquisitionPanel(client);
    column->addWidget(Panel1);
    setCentralWidget(client);

    BuildStatusLine();
    WireFiles();
    WireRecordingView();
    WireInterchange();
    WirePictures();
    WireStatistics();
    WireDecoder();
    WireSearch();
    WireTrigger();
    WireIntegrity();
    WireDisk();
    WireMarkers();
    WireRecording();
    WireGrid();
    WirePort();
    FormCreate();
    WireStorage();
}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate() {
    // Action hints arrive as status tips, which event() hands to ShowHint.
    ShowPortSummary();

    // The sample period's limits are the periods of the dividers 16 and 65535.
    spedSamplePeriod->SetMinValue(acquisition::DividerPeriod(acquisition::MinDivider));
    spedSamplePeriod->SetMaxValue(acquisition::DividerPeriod(acquisition::MaxDivider));
    spedSamplePeriod->SetIncrement(acquisition::DividerStepMs);
    spedSamplePeriod->SetValue(acquisition::QuantizePeriod(spedSamplePeriod->MinValue()));
    acquisition::FollowSamplePeriod(*this);

    Marker1Time = 0;
    Marker2Time = 0;
    MarkerPenColor = QColor(0, 128, 0);
    MarkerPenStyle = Qt::DashLine;
    CursorX = -1;
    CursorPenColor = QColor(255, 255, 0);
    CursorPenStyle = Qt::SolidLine;

    actViewMarkersExecute(this);
    actViewCursorExecute(this);
    actInvertLeftAxisExecute(this);
}

void TMainForm::ShowPortSummary() {
    const QString text = PortSummary(Port_);
    StatusPanel0->setText(text);
    StatusPanel0->setFixedWidth(fontMetrics().horizontalAdvance(text) + 16);
}

void TMainForm::closeEvent(QCloseEvent* e) {
    FormClose(this);
    QMainWindow::closeEvent(e);
}

bool TMainForm::event(QEvent* e) {
    // The window's own status tip handling would cover both panels with the hint.
    if (e->type() == QEvent::StatusTip) {
        ShowHint(static_cast<QStatusTipEvent*>(e)->tip());
        return true;
    }
    return QMainWindow::event(e);
}

// The hint goes to the free part of the status line right of the two panels, which keep the port
// summary and the cursor readout; without a hint that part shows the standing note.
void TMainForm::ShowHint(const QString& hint) {
    HintText->setText(hint.isEmpty() ? StatusNote : hint);
}

void TMainForm::ShowStatusNote(const QString& note) {
    StatusNote = note;
    HintText->setText(note);
}

void TMainForm::spedSamplePeriodKeyPress(QObject*, QChar& Key) {
    if (Key == EnterKey) {
        SweepLength_ = acquisition::ConfirmSamplePeriod(*this);
    }
}

void TMainForm::spedSamplePeriodExit(QObject*) {
    SweepLength_ = acquisition::ConfirmSamplePeriod(*this);
}

void TMainForm::spedDeflectTimeKeyPress(QObject*, QChar& Key) {
    if (Key == EnterKey) {
        SweepLength_ = acquisition::ConfirmDeflectTime(*this);
    }
}

void TMainForm::spedDeflectTimeExit(QObject*) {
    SweepLength_ = acquisition::ConfirmDeflectTime(*this);
}

long double TMainForm::SamplePeriod() const {
    return spedSamplePeriod->Value();
}

void TMainForm::SetSamplePeriod(long double ms) {
    spedSamplePeriod->SetValue(ms);
}

long double TMainForm::DeflectTime() const {
    return spedDeflectTime->Value();
}

void TMainForm::SetDeflectTime(long double s) {
    spedDeflectTime->SetValue(s);
}

long double TMainForm::DeflectTimeMax() const {
    return spedDeflectTime->MaxValue();
}

void TMainForm::SetDeflectTimeMax(long double s) {
    spedDeflectTime->SetMaxValue(s);
}

void TMainForm::SetGridPeriodMin(long double ms) {
    spedGridPeriod->SetMinValue(ms);
}

long double TMainForm::TimeAxisMaximum() const {
    return Chart->BottomAxis().Maximum();
}

// The one place where the timing rules reach the time axis. After a zoom, a scroll or a loaded file
// the axis may start above the new sweep's end; the chart would refuse that maximum, so the axis
// then goes back to the sweep's start, 0, which is where a start puts it anyway.
void TMainForm::SetTimeAxisMaximum(long double ms) {
    chart::TChartAxis& axis = Chart->BottomAxis();
    const double maximum = static_cast<double>(ms);
    if (axis.Minimum() > maximum)
        axis.SetMinimum(std::min(0.0, maximum));
    axis.SetMaximum(maximum);
}

} // namespace recorder
