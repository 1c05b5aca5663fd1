#include "chart/print_layout.h"

#include <algorithm>
#include <cmath>

namespace chart {

namespace {

// Rounding as the chart rounds percentages: halves away from zero.
int Round(double v) {
    return static_cast<int>(std::lround(v));
}

// The margin on each side of the shorter direction, in percent; integer division truncates.
int SideMargin(double along, double across, double aspect, double ratio) {
    constexpr double chartShare = 1.0 - 40.0 / 100.0;
    return Round((along - chartShare * across * aspect * ratio) * 100.0 / along) / 2;
}

} // namespace

TPrintMargins ProportionalMargins(QSize chart, QSize page, double ratio) {
    const double w = chart.width(), h = chart.height();
    TPrintMargins m;
    if (h < w) {
        m.Top = m.Bottom = SideMargin(page.height(), page.width(), h / w, ratio);
    } else {
        m.Left = m.Right = SideMargin(page.width(), page.height(), w / h, ratio);
    }
    return m;
}

QRect PrintRectangle(QSize page, const TPrintMargins& margins) {
    const double pw = page.width(), ph = page.height();
    const int left = Round(pw * margins.Left / 100.0);
    const int top = Round(ph * margins.Top / 100.0);
    const int right = page.width() - Round(pw * margins.Right / 100.0);
    const int bottom = page.height() - Round(ph * margins.Bottom / 100.0);
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

TPrintPlacement PlacePrint(QSize chart, const TPrinterPage& printer, const TPrintSetup& setup) {
    TPrintPlacement p;
    p.Margins = setup.Proportional
                    ? ProportionalMargins(chart, printer.Page, printer.DpiX / printer.DpiY)
                    : setup.Margins;
    p.Target = PrintRectangle(printer.Page, p.Margins).normalized();
    if (p.Target.isEmpty())
        return p;
    const double share = (100 - setup.ResolutionPercent) / 100.0;
    const int w = std::max(1, Round(chart.width() * share));
    const int h = std::max(1, Round(chart.height() * share));
    p.ScaleX = static_cast<double>(p.Target.width()) / w;
    p.ScaleY = static_cast<double>(p.Target.height()) / h;
    p.Logical = QRect(Round(p.Target.left() / p.ScaleX), Round(p.Target.top() / p.ScaleY), w, h);
    return p;
}

} // namespace chart
