#pragma once
// A recording file on the chart: whatever range the time axis shows, the trace holds only what is
// drawn. Up to a sweep's length of samples in view, the samples themselves, one point each, as a
// sweep's trace holds them, so that markers, the crosshair, snapping to edges and the pulse
// statistics work as on a sweep. Beyond that, per pixel column of the plot its first level, its
// lowest and highest and its last, at most four points, which the fast line draws as the column's
// vertical stroke joined to its neighbours: the same pixels the samples would give.
//
// Times are in ms from the recording's first sample, the sweep's unit. A damaged block's samples
// have no level and are drawn halfway between low and high, at 0.5.
//
// Window thread only, like the series.

#include "capture/levels.h"
#include "capture/reader.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace chart {
class TChartAxis;
class TChartSeries;
} // namespace chart

namespace recorder {

class TRecordingView {
public:
    // The level a damaged block's samples are drawn at.
    static constexpr double kNothingLevel = 0.5;

    // Opens the file believing its index, without a pass over the samples. Throws
    // files::EInOutError when it cannot be read or is no recording.
    explicit TRecordingView(const std::string& path);

    const std::string& Path() const { return path_; }
    // For passes over the whole file off the window thread (the reader's const calls are safe
    // from any thread).
    const capture::TRecordingReader& Reader() const { return reader_; }
    // Whether the last fill put the samples themselves into the series rather than columns.
    bool HoldsSamples() const { return holdsSamples_; }
    std::uint64_t TotalSamples() const { return levels_.TotalSamples(); }
    double PeriodMs() const { return periodMs_; }
    // From the first sample's time to the last one's.
    double SpanMs() const;

    // Puts into `series` what the time axis shows between the pixel columns `left` and `right`
    // (the plot's edges): the samples a trace of all of them would draw there, which are those
    // from the first at or right of the left edge to the first at or right of the right edge,
    // and the one before them, for the line into the plot. The axis must be laid out (as it is
    // once the chart is about to draw its series) and not inverted. Returns false when the axis
    // shows what the series already holds, and leaves it then.
    bool Fill(chart::TChartSeries& series, const chart::TChartAxis& axis, int left, int right);

    // The damaged blocks found since the last call: on opening those the file's structure shows,
    // later those whose bytes fail their CRC when first drawn.
    std::vector<capture::TBadBlock> TakeNewDamaged();

private:
    // The first sample at or after the time, TotalSamples when none.
    std::uint64_t FirstAtLeast(double ms) const;
    // The first sample at or right of pixel column `pixel` among [from, to].
    std::uint64_t FirstAtPixel(const chart::TChartAxis& axis, int pixel, std::uint64_t from,
                               std::uint64_t to) const;

    std::string path_;
    capture::TRecordingReader reader_;
    capture::TRecordingLevels levels_;
    double periodMs_;
    // The borders of the last fill, to tell a repaint of the same view.
    std::vector<std::uint64_t> shown_;
    bool holdsSamples_ = false;
    // The first samples of the damaged blocks reported.
    std::set<std::uint64_t> reported_;
};

} // namespace recorder
