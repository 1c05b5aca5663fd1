#pragma once
// A decoding's annotations as the window shows them: labelled rows of the chart's strip and the
// lines of the annotations table, in the trace's time.

#include "chart/annotation_strip.h"
#include "decode/client.h"

#include <QString>

#include <vector>

namespace recorder {

// The annotations of one decoding and where its samples lie on the trace's time axis.
struct TDecoded {
    std::vector<decode::TAnnotation> Annotations;
    double OffsetMs = 0;    // the time of sample 0
    double MsPerSample = 0; // the sample period
    double StartMs(const decode::TAnnotation& a) const { return OffsetMs + double(a.Start) * MsPerSample; }
    double EndMs(const decode::TAnnotation& a) const { return OffsetMs + double(a.End) * MsPerSample; }
};

// One line of the annotations table, in the annotations' order.
struct TAnnotationLine {
    double StartMs = 0;
    double EndMs = 0;
    QString Row; // as its strip row is labelled
    QString Text;
};

// Where each annotation goes: a row of its decoder's, or, for a class in no row, a row of that
// class alone. Rows come in the stack's order, then the decoder's, and only rows that hold an
// annotation are made. An item's colour is its class's place in its decoder, and the decoders of
// a stack take different colours.
struct TDecodedView {
    std::vector<chart::TStripRow> Rows;
    std::vector<TAnnotationLine> Lines;
};
TDecodedView ViewOf(const TDecoded& decoded, const std::vector<decode::TDecoderInfo>& decoders,
                    const std::vector<decode::TStackedDecoder>& stack);

} // namespace recorder
