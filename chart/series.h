#pragma once
// The chart's series: the points and their value lists, the mapping of points to pixels, and
// the fast line that draws the trace.

#include "chart/chart_pen.h"
#include "chart/value_list.h"

#include <QObject>
#include <QPointF>
#include <QString>

#include <functional>
#include <span>
#include <vector>

class QPainter;

namespace chart {

class TChart;
class TChartAxis;
class TChartSeries;

using TNotifyEvent = std::function<void(QObject* Sender)>;
// May refuse a point about to be added (return false); sees the pending x and y.
using TSeriesOnBeforeAdd = std::function<bool(TChartSeries* Sender, double X, double Y)>;
using TSeriesOnAfterAdd = std::function<void(TChartSeries* Sender, int ValueIndex)>;

// A series: two parallel value lists (XValues ascending by default, YValues), one colour and one
// label per point, bound to the chart's bottom and left axes.
class TChartSeries : public QObject {
public:
    explicit TChartSeries(TChart* chart = nullptr);
    ~TChartSeries() override;

    TChart* ParentChart() const { return chart_; }
    void SetParentChart(TChart* chart);

    TChartValueList& XValues() { return x_; }
    TChartValueList& YValues() { return y_; }
    const TChartValueList& XValues() const { return x_; }
    const TChartValueList& YValues() const { return y_; }
    int Count() const { return y_.ValueCount(); }
    // std::out_of_range outside 0 .. Count() - 1.
    QString PointLabel(int index) const;
    unsigned PointColor(int index) const;

    bool Active() const { return active_; }
    void SetActive(bool v);
    QColor SeriesColor() const { return color_; }
    virtual void SetSeriesColor(QColor c);
    TChartPen& LinePen() { return linePen_; }
    const TChartPen& LinePen() const { return linePen_; }
    // Assigning a pen also takes its colour as the series colour.
    void SetLinePen(const TChartPen& pen);
    bool AutoRepaint() const { return autoRepaint_; }
    void SetAutoRepaint(bool v) { autoRepaint_ = v; }

    TChartAxis* GetHorizAxis() const;
    TChartAxis* GetVertAxis() const;
    bool UsesAxis(const TChartAxis* axis) const;

    // Inserts the point by XValues.Order (equal x keep their insertion order); the new index, or
    // -1 when OnBeforeAdd refused it.
    int AddPoint(double x, double y, const QString& label = {}, unsigned color = ClDefault);
    // The same as AddPoint for each point in turn (empty label, default colour), with one repaint
    // request at the end instead of one a point: the way to fill a series from a file.
    void AddPoints(std::span<const double> xs, std::span<const double> ys);
    void ClearPoints();
    // All points replaced at once, without labels or colours and without a repaint request: for
    // an owner that refills the series with what the plot shows just before the series are drawn.
    void ReplacePoints(std::span<const double> xs, std::span<const double> ys);
    void RequestRedraw();

    int ValueToPixelX(double v) const;
    int ValueToPixelY(double v) const;
    double PixelToValueX(int p) const;
    double PixelToValueY(int p) const;
    int PixelX(int index) const;
    int PixelY(int index) const;
    // The mouse pointer's position now, as values of the series' axes.
    QPointF MouseValues() const;

    // The points inside the plot rectangle (-1 = none), set before each draw and reset by
    // ClearPoints.
    int FirstShownIndex() const { return firstShown_; }
    int LastShownIndex() const { return lastShown_; }
    void CalcFirstLastVisibleIndex();

    virtual void DrawPoints(QPainter& painter) = 0;
    // Index of a point or segment at the client pixel, or -1.
    virtual int HitTest(int x, int y) const;

    TNotifyEvent BeforeDrawValues;
    TNotifyEvent AfterDrawValues;
    TSeriesOnBeforeAdd OnBeforeAdd;
    TSeriesOnAfterAdd OnAfterAdd;
    TNotifyEvent OnClearValues;

protected:
    // Called after a point was stored, before OnAfterAdd; false ends AddPoint there.
    virtual bool PointAdded(int index);

private:
    TChart* chart_ = nullptr;
    TChartValueList x_{QStringLiteral("X"), loAscending};
    TChartValueList y_{QStringLiteral("Y"), loNone};
    // One entry a point once any point has a label or a colour of its own; empty until then, as a
    // recorded trace of half a million points has neither.
    std::vector<unsigned> colors_;
    std::vector<QString> labels_;
    bool active_ = true;
    bool autoRepaint_ = true;
    QColor color_ = Qt::red;
    TChartPen linePen_{Qt::red};
    int firstShown_ = -1, lastShown_ = -1;
};

// Draws all points as one polyline with LinePen. Per pixel column only the first, lowest, highest
// and last point are drawn, which gives exactly the pixels of drawing every segment.
class TFastLineSeries : public TChartSeries {
public:
    explicit TFastLineSeries(TChart* chart = nullptr) : TChartSeries(chart) {}

    void DrawPoints(QPainter& painter) override;
    int HitTest(int x, int y) const override;
    // Segments the last draw handed to the painter.
    int SegmentCount() const { return static_cast<int>(lines_.size()); }

protected:
    bool PointAdded(int index) override;

private:
    std::vector<QLine> lines_;
};

} // namespace chart
