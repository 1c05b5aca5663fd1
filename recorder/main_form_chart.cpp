// The chart as the window is built: white, flat, no axes until the grid is switched on, the
// time axis 0..1 ms and the level axis -1..2, one red fast line.
#include "chart/chart.h"
#include "recorder/main_form.h"

namespace recorder {

void TMainForm::BuildChart(QWidget* parent) {
    Chart = new chart::TChart(parent);
    Chart->setObjectName(QStringLiteral("Chart"));
    Chart->SetColor(Qt::white);
    Chart->BackWall().SetBrush(Qt::NoBrush);
    Chart->SetView3D(false);
    Chart->SetView3DWalls(false);
    Chart->SetAxisVisible(false);

    chart::TChartTitle& title = Chart->Title();
    title.SetText({QStringLiteral("t1=0     t2=0     dt=0     f=?")});
    title.SetVisible(false);
    title.SetAdjustFrame(false);

    chart::TChartAxis& bottom = Chart->BottomAxis();
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

    chart::TChartAxis& left = Chart->LeftAxis();
    left.SetAutomatic(false);
    left.SetMinimum(-1.0);
    left.SetMaximum(2.0);
    left.SetIncrement(1.0);
    left.SetExactDateTime(false);

    Chart->TopAxis().SetAutomatic(false);
    Chart->RightAxis().SetAutomatic(false);
    chart::TChartAxis& depth = Chart->DepthAxis();
    depth.SetAutomatic(false);
    depth.SetMinimum(-0.5);
    depth.SetMaximum(0.5);

    Series1 = new chart::TFastLineSeries(Chart);
    Series1->setObjectName(QStringLiteral("Series1"));
    Series1->SetSeriesColor(Qt::red);
    Series1->XValues().SetOrder(chart::loAscending);
    Series1->YValues().SetOrder(chart::loNone);
    Chart->SetIdleCursor(Chart->cursor());
}

} // namespace recorder
