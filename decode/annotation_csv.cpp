#include "decode/annotation_csv.h"

#include "numbers/number_text.h"

namespace decode {

namespace {

void AppendField(std::string& out, const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

} // namespace

std::string AnnotationCsvHeader() {
    return "start_ms,end_ms,decoder,row,text\n";
}

std::string AnnotationCsvLine(const TAnnotation& annotation, double offsetMs, double msPerSample) {
    std::string line;
    numbers::AppendGeneral(line, offsetMs + static_cast<double>(annotation.Start) * msPerSample,
                           '.');
    line += ',';
    numbers::AppendGeneral(line, offsetMs + static_cast<double>(annotation.End) * msPerSample, '.');
    line += ',';
    AppendField(line, annotation.Decoder);
    line += ',';
    AppendField(line, annotation.Row.empty() ? annotation.Class : annotation.Row);
    line += ',';
    AppendField(line, annotation.Texts.empty() ? std::string() : annotation.Texts.front());
    line += '\n';
    return line;
}

} // namespace decode
