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

std::uint64_t TRecordingView::FirstAtLeast(double ms) const {
    std::uint64_t from = 0, to = TotalSamples();
    while (from < to) {
        const std::uint64_t mid = from + (to - from) / 2;
        if (static_cast<double>(mid) * periodMs_ < ms)
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
    // The samples a trace holding all of them would draw: from the first at or right of the
    // plot's left edge to the first at or right of its right edge, with the one before them.
    const std::uint64_t shownFrom = std::min(FirstAtLeast(axis.AxisPixelToValue(left)), total - 1);
    const std::uint64_t shownTo =
        std::max(std::min(FirstAtLeast(axis.AxisPixelToValue(right)), total - 1), shownFrom) + 1;
    const std::uint64_t from = shownFrom > 0 ? shownFrom - 1 : 0;

    std::vector<std::uint64_t> borders{from};
    const bool literal = shownTo - shownFrom <= capture::TRecordingLevels::kMostSamples;
    if (!literal) {
        // Per pixel column the samples that map to it; the sample before them alone.
        for (int pixel = left; pixel <= right + 1; ++pixel) {
            const std::uint64_t border =
                FirstAtPixel(axis, pixel, std::max(borders.back(), shownFrom), shownTo);
            if (border > borders.back())
                borders.push_back(border);
        }
    }
    if (shownTo > borders.back())
        borders.push_back(shownTo);
    if (borders == shown_)
        return false;
    shown_ = borders;
    holdsSamples_ = literal;

    std::vector<double> xs, ys;
    if (literal) {
        const std::vector<capture::TLevel> samples =
            levels_.Samples(from, static_cast<std::size_t>(shownTo - from));
        xs.reserve(samples.size());
        ys.reserve(samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i) {
            xs.push_back(static_cast<double>(from + i) * periodMs_);
            ys.push_back(Height(samples[i]));
        }
    } else {
        const std::vector<capture::TColumn> columns = levels_.Columns(borders);
        xs.reserve(4 * columns.size());
        ys.reserve(4 * columns.size());
        for (std::size_t i = 0; i < columns.size(); ++i)
            AddColumn(columns[i], static_cast<double>(borders[i]) * periodMs_,
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
