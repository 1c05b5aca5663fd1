#pragma once
// The trace's chart as the recorder shows it: white, flat, no axes until the grid is switched on,
// the time axis 0..1 ms titled in ms, the level axis -1..2, one red fast line. The window and the
// command-line recorder's pictures share it.

namespace chart {

class TChart;
class TFastLineSeries;

// Sets the chart's look and adds the trace's series, which it returns (owned by the chart).
TFastLineSeries* SetUpTraceChart(TChart& chart);

} // namespace chart
