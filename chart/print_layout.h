#pragma once
// Where the chart goes on a printed page: margins in percent of the page and the rectangle they
// leave, in printer pixels. No widgets, no printer: plain numbers.

#include <QRect>
#include <QSize>

namespace chart {

struct TPrintMargins {
    int Left = 15, Top = 15, Right = 15, Bottom = 15;
    bool operator==(const TPrintMargins&) const = default;
};

// Margins that give the chart 60 % of the page across its longer side and keep its proportions:
// the other pair of margins takes the rest. `chart` is the chart's client size, `page` the
// printable page in printer pixels, `ratio` the printer's dots per inch across over those down.
TPrintMargins ProportionalMargins(QSize chart, QSize page, double ratio);

// The page's rectangle inside the margins; right and bottom are the first pixels outside it.
QRect PrintRectangle(QSize page, const TPrintMargins& margins);

} // namespace chart
