#pragma once
// The trace's chart as the recorder shows it: white, flat, no axes until the grid is switched on,
// the time axis 0..1 ms titled in ms, the level axis -1..2, one red fast line. The window and the
// command-line recorder's pictures share it.

#include "recorder/sweep.h"

#include <cstdint>
#include <vector>

namespace chart {
class TChart;
class TChartSeries;
class TFastLineSeries;
} // namespace chart

namespace recorder {

// Sets the chart's look and adds the trace's series, which it returns (owned by the chart).
chart::TFastLineSeries* SetUpTraceChart(chart::TChart& chart);

// The sweeps of a recording on their way to the trace. Each sweep is decoded into a buffer of its
// own, and once complete it changes places with the trace's levels and is drawn: a paint, whenever
// it comes between the received bytes, shows one whole sweep exactly as decoded, never a sweep
// half overwritten by the next. No sample is copied on the way.
//
// Window thread only, like the series.
class TSweepBuffers final : public TSweepTarget {
public:
    // A recording of `points` points into `series` begins; the series holds as many, at level 0.
    void Start(chart::TChartSeries& series, std::int32_t points);
    // The recording has ended with the first `underWay` points of a sweep decoded: they go onto
    // the trace over the last completed sweep, so that no received sample is lost. Not drawn.
    void Finish(std::int32_t underWay);

    void SweepCompleted() override;

private:
    chart::TChartSeries* series_ = nullptr;
    std::vector<double> decoding_;
};

} // namespace recorder
