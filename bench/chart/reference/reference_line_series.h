#pragma once
// A fast line that draws every segment, the yardstick for the chart's reduced drawing in tests
// and in the benchmark.

#include "chart/series.h"

#include <QLine>

#include <vector>

namespace chart_reference {

// The fast line drawn exactly as described, without any reduction: every point of the shown range
// is mapped to its pixel and joined to the previous one unless both pixels are equal. Tests compare
// the real series against it pixel for pixel, the benchmark times both.
class TReferenceLineSeries : public chart::TChartSeries {
public:
    explicit TReferenceLineSeries(chart::TChart* chart = nullptr) : TChartSeries(chart) {}
    void DrawPoints(QPainter& painter) override;
    // Segments of the last draw.
    int SegmentCount() const { return static_cast<int>(lines_.size()); }

private:
    std::vector<QLine> lines_;
};

} // namespace chart_reference
