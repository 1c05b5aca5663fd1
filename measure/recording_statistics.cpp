#include "measure/recording_statistics.h"

namespace measure {

std::optional<TPulseStatistics> RecordingPulseStatistics(const capture::TRecordingReader& reader,
                                                         const capture::TScanControl& control) {
    const double periodMs = reader.Header().SamplePeriodSeconds() * 1000.0;
    TPulseAccumulator pulses;
    const bool done = capture::ForEachRecordedEdge(
        reader,
        [&](const capture::TEdgeBatch& batch) {
            if (batch.AfterHole)
                pulses.Gap();
            for (const capture::TRecordedEdge& edge : batch.Edges)
                pulses.Edge(edge.Level != 0, static_cast<double>(edge.Sample) * periodMs);
        },
        control);
    if (!done)
        return std::nullopt;
    return pulses.Statistics();
}

} // namespace measure
