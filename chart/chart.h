#pragma once
// TChart, the chart widget: axes, titles, series, zoom and scroll by mouse, and its output to
// the screen, to pictures and to paper.

#include "chart/annotation_strip.h"
#include "chart/axis.h"
#include "chart/canvas.h"
#include "chart/picture_format.h"
#include "chart/print_layout.h"
#include "chart/series.h"
#include "chart/title.h"

#include <QByteArray>
#include <QCursor>
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QPrinter;

namespace chart {

enum TPanningMode { pmNone, pmHorizontal, pmVertical, pmBoth };

using TMouseMoveEvent =
    std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y)>;
using TMouseEvent = std::function<void(QObject* Sender, Qt::MouseButton Button,
                                       Qt::KeyboardModifiers Shift, int X, int Y)>;
using TAllowScrollEvent =
    std::function<void(TChartAxis* Sender, double& AMin, double& AMax, bool& AllowScroll)>;
using TClickAxisEvent = std::function<void(TChart* Sender, TChartAxis* Axis, Qt::MouseButton Button,
                                           Qt::KeyboardModifiers Shift, int X, int Y)>;
using TClickSeriesEvent =
    std::function<void(TChart* Sender, TChartSeries* Series, int ValueIndex, Qt::MouseButton Button,
                       Qt::KeyboardModifiers Shift, int X, int Y)>;
using TClickBackgroundEvent = std::function<void(TChart* Sender, Qt::MouseButton Button,
                                                 Qt::KeyboardModifiers Shift, int X, int Y)>;

// A drag of the zoom rectangle or of a scroll: where the button went down and the latest mouse
// position, in client pixels.
struct TZoomPanning {
    bool Active = false;
    int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
};

// The chart widget: one plot with five axes, a title and foot, a back wall and its series.
// Everything is drawn by DrawChart through one QPainter; the window keeps the result in a back
// buffer, so an expose without a change only copies it and runs no hook.
class TChart : public QWidget {
    Q_OBJECT
public:
    explicit TChart(QWidget* parent = nullptr);
    ~TChart() override;

    TChartAxis& BottomAxis() { return *axes_[0]; }
    TChartAxis& TopAxis() { return *axes_[1]; }
    TChartAxis& LeftAxis() { return *axes_[2]; }
    TChartAxis& RightAxis() { return *axes_[3]; }
    TChartAxis& DepthAxis() { return *axes_[4]; }
    // Bottom, top, left, right, depth: the order in which axes are laid out and drawn.
    const std::array<std::unique_ptr<TChartAxis>, 5>& Axes() const { return axes_; }

    TChartTitle& Title() { return title_; }
    TChartTitle& Foot() { return foot_; }
    TChartWall& BackWall() { return backWall_; }

    const std::vector<TChartSeries*>& SeriesList() const { return series_; }
    TChartSeries* Series(int index) const { return series_.at(static_cast<size_t>(index)); }
    int SeriesCount() const { return static_cast<int>(series_.size()); }

    QColor Color() const { return color_; }
    void SetColor(QColor c);
    int MarginLeft() const { return margins_[0]; }
    int MarginTop() const { return margins_[1]; }
    int MarginRight() const { return margins_[2]; }
    int MarginBottom() const { return margins_[3]; }
    void SetMarginLeft(int percent);
    void SetMarginTop(int percent);
    void SetMarginRight(int percent);
    void SetMarginBottom(int percent);
    bool AxisVisible() const { return axisVisible_; }
    void SetAxisVisible(bool v);
    bool View3D() const { return view3D_; }
    void SetView3D(bool v);
    bool View3DWalls() const { return view3DWalls_; }
    void SetView3DWalls(bool v);
    bool ClipPoints() const { return clipPoints_; }
    void SetClipPoints(bool v);
    bool UseBackBuffer() const { return useBackBuffer_; }
    void SetUseBackBuffer(bool v);
    bool ImageDirty() const { return imageDirty_; }

    // The area inside the axes where series are drawn: left(), top() and right(), bottom() are
    // the edge rows and columns (the back wall's frame). Valid after the first full repaint.
    QRect PlotRect() const { return plotRect_; }
    int DepthOffsetX() const { return 0; }
    int DepthOffsetY() const { return 0; }

    // Rows drawn under the plot, above the bottom axis, following its zoom and scroll. With rows
    // the plot gives up their height at its bottom; no rows: the chart is exactly as without a
    // strip. The repaint is asked for.
    void SetStrip(std::vector<TStripRow> rows);
    const std::vector<TStripRow>& Strip() const { return strip_.Rows(); }
    // The font of the rows' names and texts; a row is a line of it high and a little more.
    const QFont& StripFont() const { return strip_.Font(); }
    void SetStripFont(const QFont& font);
    // The strip's rectangle in the last full repaint (empty without rows).
    QRect StripRect() const { return stripRect_; }
    // The row and item at a client point of the strip, if any (as the last full repaint drew
    // them). Hovering one shows its full text as a tool tip.
    std::optional<std::pair<int, std::size_t>> StripItemAt(QPoint point) const;

    QCursor IdleCursor() const { return idleCursor_; }
    void SetIdleCursor(const QCursor& c) { idleCursor_ = c; }

    bool AllowZoom() const { return allowZoom_; }
    void SetAllowZoom(bool v) { allowZoom_ = v; }
    TPanningMode AllowPanning() const { return allowPanning_; }
    void SetAllowPanning(TPanningMode m) { allowPanning_ = m; }
    bool AnimatedZoom() const { return animatedZoom_; }
    void SetAnimatedZoom(bool v) { animatedZoom_ = v; }
    int AnimatedZoomSteps() const { return animatedZoomSteps_; }
    void SetAnimatedZoomSteps(int n) { animatedZoomSteps_ = n; }
    bool Zoomed() const { return zoomed_; }
    const TZoomPanning& ZoomDrag() const { return zoom_; }
    const TZoomPanning& PanDrag() const { return pan_; }

    // Zooms all four axes to the pixel rectangle (Zoomed, OnZoom); the repaint is requested.
    virtual void ZoomToRect(const QRect& r);
    // Restores the ranges saved before the first zoom or scroll, calls OnUndoZoom.
    void UndoZoom();
    // Saves the ranges for UndoZoom as a zoom or scroll does, unless one has since the last undo:
    // before the owner moves the axes on the operator's behalf, so that the operator's undo
    // gesture brings back the view from before.
    void SaveRangesForUndo();

    // Marks the image dirty and asks for a paint (asynchronous). The screen shows no more than
    // one frame per FrameInterval, so requests within one frame of the last paint share one
    // paint at the frame's end; none is lost, and that paint shows the data as it is then. A
    // request in the frame's last eighth is painted at once rather than a moment later.
    void RequestRedraw();
    // Marks the image dirty and paints at once (synchronous full repaint, hooks included).
    void RedrawNow();
    // Property changes of the chart and its parts: the image no longer shows the current state.
    // The paint is asked for like that of RequestRedraw.
    void Invalidate();
    // The shortest time in milliseconds between two paints asked for by RequestRedraw or a
    // property change; 17, one frame of a 60 Hz display (16.7 ms) rounded up, so that no frame
    // of the display gets two paints. 0 paints for each at once.
    int FrameInterval() const { return frameInterval_; }
    void SetFrameInterval(int ms);

    // The full repaint onto any painter and panel rectangle (window buffer, file, printer).
    void DrawChart(QPainter& painter, const QRect& panel);

    // Output (chart_output.cpp): the full repaint, hooks included, onto a picture of the chart's
    // client size, the clipboard or a printed page; the crosshair, which only the window shows,
    // is in none of them. Afterwards the window's next paint is a full repaint. Failures throw.
    QByteArray PictureBytes(TPictureFormat format);
    // The file is replaced whole or not at all (see files::ReplaceFileContent).
    void WritePictureFile(const QString& name, TPictureFormat format);
    void WriteBitmapFile(const QString& name) { WritePictureFile(name, TPictureFormat::Bitmap); }
    void WriteMetafile(const QString& name, bool enhanced);
    // A metafile's bytes: frame max(1, width - 1) x max(1, height - 1) of `r`, drawn with `r`.
    QByteArray MakeMetafile(bool enhanced, const QRect& r);
    // The enhanced metafile, whatever `enhanced` says, with PNG and SVG renderings beside it.
    void CopyPictureToClipboard(bool enhanced);
    // One page on the printer as it is set up, its resolution left as chosen: the layout (the
    // screen's, or smaller by the print resolution) stretched onto the rectangle inside the print
    // margins, in each direction by its own scale. The job is named after the chart's objectName.
    // Margins that leave no room throw.
    void PrintChart(QPrinter& printer);
    const TPrintMargins& PrintMargins() const { return print_.Margins; }
    void SetPrintMargins(const TPrintMargins& m) { print_.Margins = m; }
    // Recompute the margins from the chart's and the page's proportions at every print.
    bool PrintProportional() const { return print_.Proportional; }
    void SetPrintProportional(bool v) { print_.Proportional = v; }
    // Percent by which the page's layout is smaller than the chart on the screen (see
    // TPrintSetup), 0 to 99; other values throw std::out_of_range.
    int PrintResolution() const { return print_.ResolutionPercent; }
    void SetPrintResolution(int percent);

    // The canvas hooks draw through: into the repaint's painter during a full repaint, onto the
    // window overlay outside one.
    TChartCanvas& Canvas() { return canvas_; }
    // Drawings made through the canvas outside a repaint, shown over the back buffer.
    const TOverlay& Overlay() const { return overlay_; }
    // The kept off-screen image of the last full repaint.
    const QImage& BackBuffer() const { return buffer_; }

    TNotifyEvent OnBeforeDrawAxes;
    TNotifyEvent OnBeforeDrawSeries;
    TNotifyEvent OnAfterDraw;
    TAxisOnGetLabel OnGetAxisLabel;
    TAxisOnGetNextLabel OnGetNextAxisLabel;
    TNotifyEvent OnZoom;
    TNotifyEvent OnUndoZoom;
    TNotifyEvent OnScroll;
    TAllowScrollEvent OnAllowScroll;
    TNotifyEvent OnClick;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TClickAxisEvent OnClickAxis;
    TClickSeriesEvent OnClickSeries;
    TClickBackgroundEvent OnClickBackground;

    // Used by TChartSeries to join and leave the chart.
    void AttachSeries(TChartSeries* s);
    void DetachSeries(TChartSeries* s);
    bool Destroying() const { return destroying_; }

signals:
    // Emitted by every RequestRedraw (the series' ones, and so AddPoint and ClearPoints, too) and
    // every RedrawNow, before the paint is asked for.
    void redrawRequested();
    // Emitted when a paint of the window that ran the full repaint has finished: the screen shows
    // a fresh picture, and whatever was drawn over the old one through the canvas is gone (also
    // when no series drew a point and so raised no AfterDrawValues). An expose that only copies
    // the kept image keeps those drawings and is not one; nor is DrawChart onto another target.
    void painted();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // Layout and drawing (chart_draw.cpp).
    bool AxisWillDraw(const TChartAxis& axis) const;
    void FitAxesToSeries();
    void LayoutAxes(QPainter& painter);
    QRect DrawTitle(QPainter& painter, TChartTitle& title, bool atTop);
    void DrawWalls(QPainter& painter);
    void DrawSeries(QPainter& painter);
    void DrawZoomRectangle();
    void FullRepaintToBuffer();
    // Asks for a paint now, or at the end of the frame of the last paint.
    void ScheduleFrame();
    void FullRepaintDone();

    // Mouse gestures (chart_mouse.cpp).
    enum class Part { None, Series, Axis, Title, Foot, Plot };
    Part PartAt(int x, int y, TChartAxis** axis, TChartSeries** series, int* index) const;
    void SaveAxesState();
    void ScrollAxes(bool horizontal, int from, int to);
    bool InsidePlot(int x, int y) const;

    std::array<std::unique_ptr<TChartAxis>, 5> axes_;
    TChartTitle title_;
    TChartTitle foot_{Qt::red};
    TChartWall backWall_;
    std::vector<TChartSeries*> series_;

    QColor color_{0xF0, 0xF0, 0xF0};
    std::array<int, 4> margins_{3, 4, 3, 4};
    bool axisVisible_ = true, view3D_ = true, view3DWalls_ = true, clipPoints_ = true;
    bool useBackBuffer_ = true, imageDirty_ = true;
    QRect plotRect_;
    TStrip strip_;
    QRect stripRect_;
    int stripRowHeight_ = 0;
    QCursor idleCursor_;

    bool allowZoom_ = true, animatedZoom_ = false, zoomed_ = false;
    TPanningMode allowPanning_ = pmBoth;
    int animatedZoomSteps_ = 8;
    TZoomPanning zoom_, pan_;
    std::array<TAxisState, 4> saved_{};
    int wheelPending_ = 0;
    bool nothingSaved_ = true;
    bool inClickEvent_ = false;
    bool pressedHere_ = false;

    int frameInterval_ = 17;
    // An update() is on its way; further requests until its paint would only repeat it.
    bool paintPending_ = false;
    QTimer frameTimer_;
    QElapsedTimer lastPaint_;

    TPrintSetup print_;

    QImage buffer_;
    TOverlay overlay_;
    TChartCanvas canvas_;
    bool destroying_ = false;
};

} // namespace chart
