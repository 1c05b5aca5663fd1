#include "recorder/trace_chart.h"

#include "chart/chart.h"

#include <algorithm>

namespace recorder {

chart::TFastLineSeries* SetUpTraceChart(chart::TChart& chart) {
    chart.SetColor(Qt::white);
    chart.BackWall().SetBrush(Qt::NoBrush);
    chart.SetView3D(false);
    chart.SetView3DWalls(false);
    chart.SetAxisVisible(false);

    chart::TChartTitle& title = chart.Title();
    title.SetText({QStringLiteral("t1=0     t2=0     dt=0     f=?")});
    title.SetVisible(false);
    title.SetAdjustFrame(false);

    chart::TChartAxis& bottom = chart.BottomAxis();
    bottom.SetAutomatic(false);
    bottom.SetMinimum(0);
    bottom.SetMaximum(1.0);
    bottom.SetIncrement(1.0);
    bottom.SetExactDateTime(false);
    bottom.Title().SetCaption(QStringLiteral("Время, мс "));
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPixelSize(11);
    bottom.Title().SetFont(titleFont);
    bottom.Title().SetFontColor(Qt::black);

    chart::TChartAxis& left = chart.LeftAxis();
    left.SetAutomatic(false);
    left.SetMinimum(-1.0);
    left.SetMaximum(2.0);
    left.SetIncrement(1.0);
    left.SetExactDateTime(false);

    chart.TopAxis().SetAutomatic(false);
    chart.RightAxis().SetAutomatic(false);
    chart::TChartAxis& depth = chart.DepthAxis();
    depth.SetAutomatic(false);
    depth.SetMinimum(-0.5);
    depth.SetMaximum(0.5);

    auto* series = new chart::TFastLineSeries(&chart);
    series->setObjectName(QStringLiteral("Series1"));
    series->SetSeriesColor(Qt::red);
    series->XValues().SetOrder(chart::loAscending);
    series->YValues().SetOrder(chart::loNone);
    return series;
}

void TSweepBuffers::Start(chart::TChartSeries& series, std::int32_t points) {
    series_ = &series;
    decoding_.assign(static_cast<std::size_t>(std::max(points, 0)), 0.0);
    Levels = decoding_;
}

void TSweepBuffers::SweepCompleted() {
    // A trace replaced meanwhile by other points is not the sweep's to show.
    if (!series_->YValues().Exchange(decoding_))
        return;
    Levels = decoding_;
    series_->RequestRedraw();
}

void TSweepBuffers::Finish(std::int32_t underWay) {
    if (series_ == nullptr)
        return;
    const std::span<double> trace = series_->YValues().Writable();
    if (trace.size() == decoding_.size()) {
        const auto count = std::min(static_cast<std::size_t>(std::max(underWay, 0)), trace.size());
        std::copy_n(decoding_.begin(), count, trace.begin());
    }
    std::vector<double>().swap(decoding_);
    Levels = {};
}

} // namespace recorder
