#pragma once
// Annotations as CSV lines, "start_ms,end_ms,decoder,row,text", for a spreadsheet or a script.

#include <string>

#include "decode/client.h"

namespace decode {

// "start_ms,end_ms,decoder,row,text" and its line feed.
std::string AnnotationCsvHeader();

// One annotation and its line feed: its start and end at offsetMs + sample × msPerSample, with "."
// whatever the locale and digits enough to keep neighbouring samples of the shortest period
// apart; its decoder; its row (its class where it has none); its longest text. A field holding a
// comma, a quote, a carriage return or a line feed is quoted, its quotes doubled.
std::string AnnotationCsvLine(const TAnnotation& annotation, double offsetMs, double msPerSample);

} // namespace decode
