#include "recorder/sweep_buffers.h"

#include "chart/series.h"

#include <algorithm>

namespace recorder {

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
    if (OnShown)
        OnShown();
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
