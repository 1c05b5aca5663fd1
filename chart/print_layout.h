#pragma once
// Where the chart goes on a printed page: margins in percent of the page, the rectangle they
// leave, in printer pixels, and the layout stretched onto it. No widgets, no printer: plain
// numbers.

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

// What the printer is set up with: its page in its own pixels and its dots per inch across and
// down, as read from it before printing.
struct TPrinterPage {
    QSize Page;
    double DpiX = 96, DpiY = 96;
};

// The print resolution lays the chart out smaller than on the screen for the page, by that many
// percent (0 to 99) of its client size: the page then shows the layout of that smaller chart, in
// which texts, line widths and spacings of fixed pixel sizes take a larger share, so that at 50
// they print twice as large as at 0. At 0 the page shows the screen's layout.
struct TPrintSetup {
    TPrintMargins Margins;
    // Recompute the margins from the chart's and the page's proportions.
    bool Proportional = true;
    int ResolutionPercent = 0;
};

struct TPrintPlacement {
    TPrintMargins Margins; // as used: recomputed when proportional
    QRect Target;          // printer pixels, normalised
    // The chart is laid out on `Logical` and drawn with each logical unit stretched to ScaleX by
    // ScaleY printer pixels, both origins at 0, so that `Logical` covers `Target`.
    QRect Logical;
    double ScaleX = 1, ScaleY = 1;
};

// An empty target (margins that leave nothing of the page) comes with an empty logical rectangle.
TPrintPlacement PlacePrint(QSize chart, const TPrinterPage& printer, const TPrintSetup& setup);

} // namespace chart
