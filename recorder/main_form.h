#pragma once
// The recorder's main window: tool bar, grid panel, chart, acquisition panel and status line.
// Every control carries its name as objectName, so tests and later parts find it by that name.

#include "acquisition/integrity.h"
#include "acquisition/recording_state.h"
#include "acquisition/sweep.h"
#include "acquisition/timing.h"
#include "convert/range.h"
#include "measure/markers.h"
#include "measure/pulse_search.h"
#include "measure/pulse_statistics.h"
#include "recorder/decoded_rows.h"
#include "recorder/port_settings.h"
#include "recorder/sweep_buffers.h"
#include "serial/serial_port.h"

#include <QColor>
#include <QMainWindow>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QDockWidget;
class QFileDialog;
class QFrame;
class QKeyEvent;
class QLabel;
class QPrintDialog;
class QStatusBar;
class QTimer;
class QToolBar;

namespace capture {
class TRecordingThread;
} // namespace capture

namespace chart {
class TChart;
class TChartAxis;
class TFastLineSeries;
} // namespace chart

namespace decode {
class TDecodeWorker;
struct TDecodeResult;
} // namespace decode

namespace controls {
class TSlider;
class TSpinEdit;
class TSwitch;
} // namespace controls

namespace settings {
class TFormStorage;
} // namespace settings

namespace recorder {

class TDecoderPanel;
class TPulseSearchDialog;
class TRecordingView;
class TRadioGroup;
class TStatisticsPanel;

class TMainForm : public QMainWindow, private acquisition::TTimingFields {
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // Writes "COM1 8N1 115200" and the like into panel 0 of the status line and fits the panel's
    // width to the text.
    void ShowPortSummary();

    // The serial port the recorder talks to the device through.
    serial::TSerialPort& Port() { return Port_; }

    // N of the last confirmed timing settings.
    std::int32_t SweepLength() const { return SweepLength_; }
    // The time axis's maximum in ms: the chart's bottom axis as the timing rules last set it.
    long double TimeAxisMaximum() const;

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    // Building the window from its description (main_form_widgets.cpp).
    void BuildActions();
    void BuildToolBar();
    void BuildGridPanel(QWidget* parent);
    void BuildAcquisitionPanel(QWidget* parent);
    void BuildStatusLine();
    // A panel of the status line at `position` among its widgets, hidden until there is something
    // to show.
    QLabel* AddStatusPanel(const char* name, int position);
    void BuildChart(QWidget* parent);

    void FormCreate();
    // The settings kept from one run to the next (main_form_storage.cpp).
    void WireStorage();
    void FormClose(QObject* Sender);
    void ShowHint(const QString& hint);
    // A note on what the recorder did unasked, such as a recording stopped; it stays in the
    // status line's free part, where hints cover it only while they are shown, until the next
    // start.
    void ShowStatusNote(const QString& note);
    QString StatusNote;

    // Recording: start and stop, the device dialogue and the data handlers
    // (main_form_recording.cpp).
    void WireRecording();
    void swchStartClick(QObject* Sender);
    // A start in its steps; a failing step leaves everything stopped and throws on.
    void StartRecording();
    void PrepareSweep();
    void ShowStopped();
    void StartDevice();
    bool DeviceHandshake();
    void StopDevice();
    void PeriodicDataAvail(serial::TSerialPort* CP, std::uint16_t Count);
    void SingleDataAvail(serial::TSerialPort* CP, std::uint16_t Count);
    void PortTriggerLineError(serial::TSerialPort* CP, std::uint16_t Error, bool LineBreak);
    void PortDeviceLost(serial::TSerialPort* CP, int Code);
    // Ends a recording that the line or the device broke off: message, final picture, stop.
    void AbortRecording(const QString& message);

    // Recording to disk beside the sweeps (main_form_disk.cpp).
    void WireDisk();
    // With the button on, asks for the file the next recording goes to; false when the operator
    // cancels. With it off, no file.
    bool AskDiskFile();
    // Once the device has started: the file created with its header and the writing begun. Throws
    // files::EInOutError when the file cannot be made.
    void StartDisk();
    // Writes what is queued and the index, closes the file; reports an error not yet reported.
    void StopDisk();
    // The panel's time and size; a stop of the writing reported once.
    void ShowDisk();
    void ShowDiskError(const std::string& error);
    // The `count` received bytes a data handler is offered, read from the port and, while
    // recording to disk, queued for the file.
    std::span<const std::uint8_t> TakeReceived(std::uint16_t count);
    std::vector<std::uint8_t> Received;
    QString DiskPath;
    std::unique_ptr<capture::TRecordingThread> Disk;
    std::chrono::steady_clock::time_point DiskStart;

    // The port settings dialog (main_form_port.cpp).
    void WirePort();
    void actPortSetExecute(QObject* Sender);

    // Time grid and level axis (main_form_grid.cpp).
    void WireGrid();
    void actViewGridExecute(QObject* Sender);
    void sldrGridOffsetChange(QObject* Sender);
    void sldrGridOffsetChanged(QObject* Sender);
    void ChartBeforeDrawAxes(QObject* Sender);
    void ChartGetNextAxisLabel(chart::TChartAxis* Sender, int LabelIndex, double& LabelValue,
                               bool& Stop);
    void actInvertLeftAxisExecute(QObject* Sender);
    void ChartZoom(QObject* Sender);
    void ChartScroll(QObject* Sender);
    // Puts the level axis back to -1..2 from whatever range it has.
    void ResetLevelAxis();
    // Time labels handed out since the axes were last about to be drawn.
    std::int32_t BottomLabelIndex = 0;

    void spedSamplePeriodKeyPress(QObject* Sender, QChar& Key);
    void spedSamplePeriodExit(QObject* Sender);
    void spedDeflectTimeKeyPress(QObject* Sender, QChar& Key);
    void spedDeflectTimeExit(QObject* Sender);

    // The data file (main_form_files.cpp).
    void WireFiles();
    void actSaveExecute(QObject* Sender);
    void actLoadExecute(QObject* Sender);
    // The trace becomes the points read, in time order.
    void ShowLoadedPoints(const std::vector<double>& times, const std::vector<double>& levels);
    // The time axis and the timing fields follow the points of a file read in full; the operator
    // is told when the file held more points than were read.
    void FollowLoadedPoints(const std::vector<double>& times, bool limitExceeded);

    // A recording file of any length on the chart (main_form_recording_view.cpp).
    void WireRecordingView();
    void actOpenRecordingExecute(QObject* Sender);
    // Back to a trace of its own: a sweep, a data file or an import replaces the recording's.
    void LeaveRecordingView();
    void ChartBeforeDrawSeries();
    // The damaged blocks not reported yet, in one message.
    void ReportDamagedBlocks();
    // The recording's samples of t1 .. t2 while the markers are shown, else of the time axis's
    // range, written to `path` off the window thread: the columns drawn are no samples.
    void ExportRecording(const std::string& path, convert::TFormat format);
    // The recording shown, none while the trace is a sweep's or a file's.
    std::unique_ptr<TRecordingView> RecordingView;

    // VCD and CSV interchange (main_form_interchange.cpp).
    void WireInterchange();
    void actExportVcdExecute(QObject* Sender);
    void actExportCsvExecute(QObject* Sender);
    void actImportVcdExecute(QObject* Sender);
    // The indices of the points an export writes: all, or t1 .. t2 while the markers are shown.
    std::pair<std::size_t, std::size_t> ExportRange() const;
    // Asks for the file and writes the points of the export range in the format given.
    void ExportTrace(
        const char* dialogName, const QString& filter, const QString& suffix,
        convert::TFormat recordingFormat,
        const std::function<std::string(std::span<const double>, std::span<const double>)>& format);

    // The chart as a picture file, on the clipboard, on paper (main_form_pictures.cpp).
    void WirePictures();
    void actSaveImageExecute(QObject* Sender);
    void actCopyExecute(QObject* Sender);
    void actPrintExecute(QObject* Sender);

    // Markers, crosshair and their readouts (main_form_markers.cpp).
    void WireMarkers();
    void actViewMarkersExecute(QObject* Sender);
    void actViewCursorExecute(QObject* Sender);
    void ChartClick(QObject* Sender);
    void ChartMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
    void Series1AfterDrawValues(QObject* Sender);
    // Moves the marker whose button is down to the time under the mouse, then shows the readout.
    void UpdateMarkerReadout();
    // Writes t1, t2, dt and f into the chart's title and repaints.
    void ShowMarkerReadout();
    // The plot rectangle without its right and bottom edges, where the crosshair may stand.
    bool InsidePlot(int X, int Y) const;
    void DrawCrossHair(int X, int Y);
    void EraseCrossHair();
    // Where a key press meets the markers: the focus, the pointer, the markers shown.
    measure::TMarkerKeyContext MarkerKeyContext() const;

    // Pulse statistics in a panel beside the chart (main_form_statistics.cpp).
    void WireStatistics();
    // The figures of the export range, now.
    void UpdateStatistics();
    // The trace or the markers changed since the figures were last taken.
    bool StatisticsStale = true;
    // A pass over the whole recording shown, at the operator's request; its figures stand while
    // the view holds columns rather than samples.
    void CountWholeRecording();
    std::optional<measure::TPulseStatistics> WholeRecordingStatistics;
    // The operator showed or hid the panel: the window widens for it or gives the width back.
    void FitWindowToStatistics(bool shown);
    // The width the panel added to the window when the operator showed it.
    int StatisticsWidening = 0;

    // Protocol decoders on the trace (main_form_decode.cpp).
    void WireDecoder();
    // The decoder host's worker made, and the library's list asked for, at the panel's first
    // showing.
    void StartDecoding();
    // Asks for the decoding of what the trace shows, when a stack is chosen: a sweep's or a
    // file's trace whole, of a recording the view with some context on each side.
    void DecodeTrace();
    // The worker's results that have come, on the window thread.
    void TakeDecodings();
    void ShowDecoded(decode::TDecodeResult result);
    void ShowAnnotations(TDecoded decoded);
    // The annotations go with the trace they belong to.
    void ClearDecoded();
    void ExportAnnotations();
    // The whole recording shown, on request, off the window thread with progress and "Отмена".
    void DecodeWholeRecording();
    // Wakes the window thread for the worker's results; it outlives the worker.
    std::unique_ptr<serial::TNotifyWindow> DecodeNotify;
    std::unique_ptr<decode::TDecodeWorker> DecodeWorker;
    // Where the samples of each decoding asked for lie on the time axis, oldest first.
    struct TDecodePlace {
        std::uint64_t Tag;
        double OffsetMs;
        double MsPerSample;
    };
    std::deque<TDecodePlace> DecodePlaces;
    std::uint64_t DecodeTag = 0;
    std::uint64_t SkippedDecodings = 0;
    // A new trace was painted: decode it once the paint is over, unless DecodeTimer is still
    // running since the last decoding, then when it runs out.
    bool DecodeWanted = false;
    QTimer* DecodeTimer = nullptr;
    // The annotations shown are the whole recording's: the view's changes need no decoding.
    bool WholeRecordingDecoded = false;
    TDecoded Decoded;

    // Finding a pulse by level and width, and stepping from edge to edge (main_form_search.cpp).
    void WireSearch();
    void actFindPulseExecute(QObject* Sender);
    // The next / previous pulse of the last criteria from the view's centre, shown and marked.
    void FindPulse(bool forward);
    // The next / previous edge from the view's centre comes to the centre.
    void MoveToEdge(bool forward);
    // The same over a recording's file, off the window thread: false when the operator
    // cancelled it, else `pulse` / `edge` holds what was found, if anything.
    bool SearchRecording(bool forward, std::optional<measure::TPulse>& pulse);
    bool SearchRecordingEdge(bool forward, std::optional<double>& edge);
    double ViewCentre() const;
    double ViewSpan() const;
    // The time axis with `time` in its middle and `span` wide.
    void CentreView(double time, double span);
    void ClearSearchNote();
    // The criteria of the last search, for F3; none before the first.
    std::optional<measure::TPulseCriteria> PulseCriteria;
    // The time a search put in the middle of the time axis, and the axis's ends it set for it.
    struct TShownCentre {
        double Minimum, Maximum, Time;
    };
    std::optional<TShownCentre> ShownCentre;

    // The trigger choice of periodic sweeps (main_form_trigger.cpp).
    void WireTrigger();
    acquisition::TSweep::TTrigger Trigger() const;

    // The received byte rate during a recording (main_form_integrity.cpp).
    void WireIntegrity();
    // Counts from the first data event of a recording on; StopIntegrity keeps the totals.
    void StartIntegrity();
    void StopIntegrity();
    void ShowIntegrity();
    acquisition::TIntegrityMonitor Integrity;
    // The counts of the last recording, for an export's comment.
    acquisition::TIntegrityTotals IntegrityTotals;

    // The timing rules' view of the spin edits and of the time axis.
    long double SamplePeriod() const override;
    void SetSamplePeriod(long double ms) override;
    long double DeflectTime() const override;
    void SetDeflectTime(long double s) override;
    long double DeflectTimeMax() const override;
    void SetDeflectTimeMax(long double s) override;
    void SetGridPeriodMin(long double ms) override;
    void SetTimeAxisMaximum(long double ms) override;

    serial::TSerialPort Port_;

    // Acquisition, marker and cursor state.
    std::uint16_t LineStatusWatch = 0;
    std::int32_t SweepLength_ = 0;
    // Write index, trigger and reference level of the sweep being recorded.
    acquisition::TSweep Sweep;
    // The sweep being decoded, apart from the completed one that Series1 shows.
    TSweepBuffers SweepBuffers;
    // The recorder's own state, which decides what a click on the switch does; the switch's
    // lever shows it, on from the start of a start.
    acquisition::TRecordingState RecordingState;
    double Marker1Time = 0;
    double Marker2Time = 0;
    QColor MarkerPenColor;
    Qt::PenStyle MarkerPenStyle = Qt::SolidLine;
    std::int32_t CursorX = 0;
    std::int32_t CursorY = 0;
    QColor CursorPenColor;
    Qt::PenStyle CursorPenStyle = Qt::SolidLine;

    QAction* actLoad = nullptr;
    QAction* actOpenRecording = nullptr;
    QAction* actSave = nullptr;
    QAction* actSaveImage = nullptr;
    QAction* actCopy = nullptr;
    QAction* actPrint = nullptr;
    QAction* actPortSet = nullptr;
    QAction* actViewGrid = nullptr;
    QAction* actViewCursor = nullptr;
    QAction* actViewMarkers = nullptr;
    QAction* actSetMarker1 = nullptr;
    QAction* actSetMarker2 = nullptr;
    QAction* actInvertLeftAxis = nullptr;
    QActionGroup* MarkerGroup = nullptr;
    QAction* actExportVcd = nullptr;
    QAction* actImportVcd = nullptr;
    QAction* actExportCsv = nullptr;
    QAction* actViewStatistics = nullptr;
    QAction* actFindPulse = nullptr;
    QAction* actFindNext = nullptr;
    QAction* actFindPrevious = nullptr;
    QAction* actNextEdge = nullptr;
    QAction* actPreviousEdge = nullptr;
    QAction* actRecordToFile = nullptr;
    QAction* actViewDecoder = nullptr;
    QFileDialog* DiskDialog = nullptr;
    QLabel* DiskPanel = nullptr;
    QTimer* DiskTimer = nullptr;
    TPulseSearchDialog* PulseSearchDialog = nullptr;
    QFileDialog* SaveDialog = nullptr;
    QFileDialog* OpenDialog = nullptr;
    QFileDialog* OpenRecordingDialog = nullptr;
    QFileDialog* SavePictureDialog = nullptr;
    QPrintDialog* PrinterSetupDialog = nullptr;

    QToolBar* ToolBar1 = nullptr;
    QFrame* Panel2 = nullptr;
    controls::TSpinEdit* spedGridPeriod = nullptr;
    QLabel* Label6 = nullptr;
    controls::TSlider* sldrGridOffset = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* lblGridOffset = nullptr;
    chart::TChart* Chart = nullptr;
    chart::TFastLineSeries* Series1 = nullptr;
    QFrame* Panel1 = nullptr;
    QLabel* lblStart = nullptr;
    controls::TSwitch* swchStart = nullptr;
    QCheckBox* chbTest = nullptr;
    QLabel* Label4 = nullptr;
    controls::TSpinEdit* spedSamplePeriod = nullptr;
    QLabel* Label5 = nullptr;
    TRadioGroup* rgrpDeflectOptions = nullptr;
    QLabel* Label2 = nullptr;
    controls::TSpinEdit* spedDeflectTime = nullptr;
    QLabel* Label3 = nullptr;
    QStatusBar* StatusLine = nullptr;
    QLabel* StatusPanel0 = nullptr;
    QLabel* StatusPanel1 = nullptr;
    QLabel* HintText = nullptr;
    QLabel* StatusPanel2 = nullptr;
    QTimer* MonitorTimer = nullptr;
    QLabel* lblTrigger = nullptr;
    QComboBox* cmbTrigger = nullptr;
    QDockWidget* StatisticsDock = nullptr;
    TStatisticsPanel* StatisticsPanel = nullptr;
    QDockWidget* DecoderDock = nullptr;
    TDecoderPanel* DecoderPanel = nullptr;
    settings::TFormStorage* FormStorage1 = nullptr;
};

} // namespace recorder
