#include "chart/trace_chart.h"

#include "chart/chart.h"

namespace chart {

TFastLineSeries* SetUpTraceChart(TChart& chart) {
    chart.SetColor(Qt::white);
    chart.BackWall().SetBrush(Qt::NoBrush);
    chart.SetView3D(false);
    chart.SetView3DWalls(false);
    chart.SetAxisVisible(false);

    TChartTitle& title = chart.Title();
    title.SetText({QStringLiteral("t1=0     t2=0     dt=0     f=?")});
    title.SetVisible(false);
    title.SetAdjustFrame(false);

    TChartAxis& bottom = chart.BottomAxis();
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

    TChartAxis& left = chart.LeftAxis();
    left.SetAutomatic(false);
    left.SetMinimum(-1.0);
    left.SetMaximum(2.0);
    left.SetIncrement(1.0);
    left.SetExactDateTime(false);

    chart.TopAxis().SetAutomatic(false);
    chart.RightAxis().SetAutomatic(false);
    TChartAxis& depth = chart.DepthAxis();
    depth.SetAutomatic(false);
    depth.SetMinimum(-0.5);
    depth.SetMaximum(0.5);

    auto* series = new TFastLineSeries(&chart);
    series->setObjectName(QStringLiteral("Series1"));
    series->SetSeriesColor(Qt::red);
    series->XValues().SetOrder(loAscending);
    series->YValues().SetOrder(loNone);
    return series;
}

} // namespace chart
