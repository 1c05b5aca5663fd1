#pragma once
// Double buffering between the sweep decoder and the window's trace series.

#include "acquisition/sweep.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace chart {
class TChartSeries;
} // namespace chart

namespace recorder {

// The sweeps of a recording on their way to the trace. Each sweep is decoded into a buffer of its
// own, and once complete it changes places with the trace's levels and is drawn: a paint, whenever
// it comes between the received bytes, shows one whole sweep exactly as decoded, never a sweep
// half overwritten by the next. No sample is copied on the way.
//
// Window thread only, like the series.
class TSweepBuffers final : public acquisition::TSweepTarget {
public:
    // A recording of `points` points into `series` begins; the series holds as many, at level 0.
    void Start(chart::TChartSeries& series, std::int32_t points);
    // The recording has ended with the first `underWay` points of a sweep decoded: they go onto
    // the trace over the last completed sweep, so that no received sample is lost. Not drawn.
    void Finish(std::int32_t underWay);

    void SweepCompleted() override;

    // Told when a completed sweep has become the trace.
    std::function<void()> OnShown;

private:
    chart::TChartSeries* series_ = nullptr;
    std::vector<double> decoding_;
};

} // namespace recorder
