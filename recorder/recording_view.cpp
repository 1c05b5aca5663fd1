#include "recorder/recording_view.h"

#include "chart/axis.h"
#include "chart/series.h"

#include <algorithm>
#include <cmath>

namespace recorder {

namespace {

double Height(capture::TLevel level) {
    switch (level) {
    case capture::TLevel::Low:
        return 0;
    case capture::TLevel::High:
        return 1;
    case capture::TLevel::Nothing:
        break;
    }
    return TRecordingView::kNothingLevel;
}

// A column's points, all in its pixel column: its first level at its first sample, then the
// extremes it does not start at, then its last level at its last sample; a level equal to the one
// before adds no point.
void AddColumn(const capture::TColumn& column, double firstMs, double lastMs,
               std::vector<double>& xs, std::vector<double>& ys) {
    const auto add = [&](double x, capture::TLevel level) {
        if (ys.empty() || xs.back() != x || ys.back() != Height(level)) {
            xs.push_back(x);
            ys.push_back(Height(level));
        }
    };
    add(firstMs, column.First);
    if (column.First == column.Highest) {
        add(firstMs, column.Lowest);
    } else {
        add(firstMs, column.Lowest);
        add(firstMs, column.Highest);
    }
    add(lastMs, column.Last);
}

} // namespace

TRecordingView::TRecordingView(const std::string& path)
    : path_(path), reader_(path, capture::TRecordingReader::TCheck::Index), levels_(reader_),
      periodMs_(reader_.Header().SamplePeriodSeconds() * 1000.0) {}

double TRecordingView::SpanMs() const {
    return static_cast<double>(std::max<std::uint64_t>(TotalSamples(), 2) - 1) * periodMs_;
}

std::uint64_t TRecordingView::FirstAtPixel(const chart::TChartAxis& axis, int pixel,
                                           std::uint64_t from, std::uint64_t to) const {
    while (from < to) {
        const std::uint64_t mid = from + (to - from) / 2;
        if (axis.AxisValueToPixel(static_cast<double>(mid) * periodMs_) < pixel)
            from = mid + 1;
        else
            to = mid;
    }
    return from;
}

bool TRecordingView::Fill(chart::TChartSeries& series, const chart::TChartAxis& axis, int left,
                          int right) {
    const std::uint64_t total = TotalSamples();
    if (total == 0 || axis.AxisLength() < 1)
        return false;
    // The search keeps to the samples a few pixels around the axis's range: far beyond it the
    // pixel mapping leaves its linear formula and is no longer monotonic.
    const double margin = 2 * axis.EffectiveRange() / axis.AxisLength() + 2 * periodMs_;
    const auto sampleNear = [&](double ms) -> std::uint64_t {
        const double sample = ms / periodMs_;
        if (!(sample > 0))
            return 0;
        return sample >= static_cast<double>(total) ? total
                                                    : static_cast<std::uint64_t>(sample);
    };
    const std::uint64_t low = sampleNear(axis.EffectiveMinimum() - margin);
    const std::uint64_t high = sampleNear(axis.EffectiveMaximum() + margin);
    const std::uint64_t shownFrom = FirstAtPixel(axis, left, low, high);
    const std::uint64_t shownTo = FirstAtPixel(axis, right + 1, shownFrom, high);
    const std::uint64_t from = shownFrom > 0 ? shownFrom - 1 : 0;
    const std::uint64_t to = std::min(shownTo + 1, total);

    std::vector<std::uint64_t> borders{from};
    if (to - from > capture::TRecordingLevels::kMostSamples) {
        // Per pixel column the samples that map to it; the samples beyond the edges alone.
        if (shownFrom > from)
            borders.push_back(shownFrom);
        for (int pixel = left + 1; pixel <= right; ++pixel) {
            const std::uint64_t border = FirstAtPixel(axis, pixel, borders.back(), shownTo);
            if (border > borders.back())
                borders.push_back(border);
        }
        if (shownTo > borders.back())
            borders.push_back(shownTo);
    }
    if (to > borders.back())
        borders.push_back(to);
    if (borders == shown_)
        return false;
    shown_ = borders;

    const capture::TDrawnRange drawn = levels_.Draw(borders);
    std::vector<double> xs, ys;
    if (!drawn.Samples.empty()) {
        xs.reserve(drawn.Samples.size());
        ys.reserve(drawn.Samples.size());
        for (std::size_t i = 0; i < drawn.Samples.size(); ++i) {
            xs.push_back(static_cast<double>(from + i) * periodMs_);
            ys.push_back(Height(drawn.Samples[i]));
        }
    } else {
        xs.reserve(4 * drawn.Columns.size());
        ys.reserve(4 * drawn.Columns.size());
        for (std::size_t i = 0; i < drawn.Columns.size(); ++i)
            AddColumn(drawn.Columns[i], static_cast<double>(borders[i]) * periodMs_,
                      static_cast<double>(borders[i + 1] - 1) * periodMs_, xs, ys);
    }
    series.ReplacePoints(xs, ys);
    return true;
}

std::vector<capture::TBadBlock> TRecordingView::TakeNewDamaged() {
    std::vector<capture::TBadBlock> fresh;
    for (const capture::TBadBlock& block : levels_.Damaged())
        if (reported_.insert(block.FirstSample).second)
            fresh.push_back(block);
    return fresh;
}

} // namespace recorder
