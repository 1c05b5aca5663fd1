// Measuring on the trace: two marker lines with the time, distance and frequency readout in the
// chart's title, and the XOR crosshair with the level and time under the mouse in the status line.

#include "chart/chart.h"
#include "measure/edges.h"
#include "measure/markers.h"
#include "recorder/main_form.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace recorder {

namespace {

// The canvas pen of the marker and crosshair lines, one pixel wide.
void SetLinePen(chart::TChartCanvas& canvas, QColor color, Qt::PenStyle style,
                chart::TPenMode mode) {
    chart::TCanvasPen& pen = canvas.Pen();
    pen.SetColor(color);
    pen.SetStyle(style);
    pen.SetMode(mode);
    pen.SetWidth(1);
}

} // namespace

void TMainForm::WireMarkers() {
    Chart->OnClick = [this](QObject* Sender) { ChartClick(Sender); };
    Chart->OnMouseMove = [this](QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y) {
        ChartMouseMove(Sender, Shift, X, Y);
    };
    Series1->AfterDrawValues = [this](QObject* Sender) { Series1AfterDrawValues(Sender); };
    // A fresh picture has wiped the crosshair from the screen also where no point was drawn (an
    // empty trace, a time range beside the data) and the series raised no AfterDrawValues.
    connect(Chart, &chart::TChart::painted, this, [this] { CursorX = -1; });
    // A click on the chart gives it the keys that place the markers.
    Chart->setFocusPolicy(Qt::ClickFocus);
    Chart->installEventFilter(this);

    const QString keys = QStringLiteral("; Shift+щелчок — на ближайший фронт; Esc — отпустить");
    actSetMarker1->setToolTip(actSetMarker1->statusTip() + QStringLiteral(" (клавиша 1") + keys +
                              QLatin1Char(')'));
    actSetMarker2->setToolTip(actSetMarker2->statusTip() + QStringLiteral(" (клавиша 2") + keys +
                              QLatin1Char(')'));
}

// The marker buttons work only while the markers are shown.
void TMainForm::actViewMarkersExecute(QObject*) {
    const bool shown = actViewMarkers->isChecked();
    Chart->Title().SetVisible(shown);
    actSetMarker1->setEnabled(shown);
    actSetMarker2->setEnabled(shown);
}

void TMainForm::actViewCursorExecute(QObject*) {
    const QCursor cursor(actViewCursor->isChecked() ? Qt::CrossCursor : Qt::ArrowCursor);
    // The chart returns to its idle cursor on every mouse move, so both change together.
    Chart->setCursor(cursor);
    Chart->SetIdleCursor(cursor);
    Chart->RedrawNow();
}

void TMainForm::ChartClick(QObject*) {
    UpdateMarkerReadout();
}

void TMainForm::UpdateMarkerReadout() {
    const QPointF mouse = Series1->MouseValues();
    if (!actViewMarkers->isChecked())
        return;
    double time = mouse.x();
    // Shift puts the marker on the nearest level change, so dt measures whole pulses.
    if (QApplication::keyboardModifiers() & Qt::ShiftModifier) {
        if (const auto edge =
                measure::NearestEdgeTime(Series1->XValues().Raw(), Series1->YValues().Raw(), time))
            time = *edge;
    }
    if (actSetMarker1->isChecked())
        Marker1Time = time;
    if (actSetMarker2->isChecked())
        Marker2Time = time;
    ShowMarkerReadout();
}

void TMainForm::ShowMarkerReadout() {
    Chart->Title().SetText({measure::MarkerReadout(Marker1Time, Marker2Time)});
    Chart->RedrawNow();
}

void TMainForm::Series1AfterDrawValues(QObject*) {
    CursorX = -1;
    if (!actViewMarkers->isChecked())
        return;
    const QRect plot = Chart->PlotRect();
    chart::TChartCanvas& canvas = Chart->Canvas();
    for (const double time : {Marker1Time, Marker2Time}) {
        // A time too far off the axis has no column of its own; the axis would put it in the
        // middle of the plot, where it would read as a marker there.
        if (!Chart->BottomAxis().MapsLinearly(time))
            continue;
        const int column = Series1->ValueToPixelX(time);
        SetLinePen(canvas, MarkerPenColor, MarkerPenStyle, chart::pmCopy);
        canvas.MoveTo(column, plot.top());
        canvas.LineTo(column, plot.bottom());
    }
}

bool TMainForm::InsidePlot(int X, int Y) const {
    // The plot's left and top edges belong to it, its right and bottom edges do not.
    const QRect plot = Chart->PlotRect();
    return X >= plot.left() && X < plot.right() && Y >= plot.top() && Y < plot.bottom();
}

void TMainForm::DrawCrossHair(int X, int Y) {
    const QRect plot = Chart->PlotRect();
    chart::TChartCanvas& canvas = Chart->Canvas();
    SetLinePen(canvas, CursorPenColor, CursorPenStyle, chart::pmXor);
    canvas.MoveTo(X, plot.top());
    canvas.LineTo(X, plot.bottom());
    canvas.MoveTo(plot.left(), Y);
    canvas.LineTo(plot.right(), Y);
}

void TMainForm::EraseCrossHair() {
    if (CursorX == -1)
        return;
    DrawCrossHair(CursorX, CursorY);
    CursorX = -1;
}

void TMainForm::ChartMouseMove(QObject*, Qt::KeyboardModifiers, int X, int Y) {
    if (!actViewCursor->isChecked()) {
        StatusPanel1->setText(QString());
        return;
    }
    EraseCrossHair();
    if (!InsidePlot(X, Y))
        return;
    DrawCrossHair(X, Y);
    CursorX = X;
    CursorY = Y;
    // The values at the crosshair itself, not at wherever the pointer has gone on to since.
    const double time = Series1->PixelToValueX(X);
    const double level = Series1->PixelToValueY(Y);
    StatusPanel1->setText(Series1->GetVertAxis()->FormatLabel(level) + QLatin1Char(' ') +
                          Series1->GetHorizAxis()->FormatLabel(time));
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    // Off the chart no mouse move reaches it: the crosshair goes with the pointer.
    if (watched == Chart && event->type() == QEvent::Leave)
        EraseCrossHair();
    return QMainWindow::eventFilter(watched, event);
}

measure::TMarkerKeyContext TMainForm::MarkerKeyContext() const {
    const QWidget* focus = QApplication::focusWidget();
    const QPoint pointer = Chart->mapFromGlobal(QCursor::pos());
    return {.MarkersShown = actViewMarkers->isChecked(),
            .TypingInField = qobject_cast<const QLineEdit*>(focus) != nullptr,
            .ChartFocused = focus == Chart,
            .PointerOverPlot =
                Chart->rect().contains(pointer) && InsidePlot(pointer.x(), pointer.y())};
}

void TMainForm::keyPressEvent(QKeyEvent* e) {
    using enum measure::TMarkerKeyAction;
    switch (const auto action = measure::MarkerKeyAction(e->key(), MarkerKeyContext())) {
    case PassOn:
        QMainWindow::keyPressEvent(e);
        return;
    case PlaceMarker1:
    case PlaceMarker2:
        (action == PlaceMarker1 ? Marker1Time : Marker2Time) = Series1->MouseValues().x();
        ShowMarkerReadout();
        break;
    case Release:
        if (QAction* down = MarkerGroup->checkedAction())
            down->setChecked(false);
        break;
    case Nothing:
        break;
    }
    e->accept();
}

} // namespace recorder
