#include "trace/vcd_import.h"

namespace trace {

namespace {

std::string ErrorAt(const std::string& path, const TVcdError& error) {
    return path + ", line " + std::to_string(error.Line) + ": " + error.Message;
}

} // namespace

TVcdImport ImportVcd(std::string_view text, const std::string& path, const TVcdChooser& choose,
                     std::size_t limit) {
    TVcdImport import;
    const TVcdHeaderRead header = ReadVcdVariables(text);
    if (header.Error) {
        import.Error = ErrorAt(path, *header.Error);
        return import;
    }
    if (header.Variables.empty()) {
        import.Error = path + ": no 1-bit variable";
        return import;
    }
    std::size_t chosen = 0;
    if (header.Variables.size() > 1) {
        const std::optional<std::size_t> pick = choose(header.Variables);
        if (!pick) {
            import.Chosen = false;
            return import;
        }
        chosen = *pick;
    }
    const TVcdSignalRead read = ReadVcdSignal(text, header.Variables.at(chosen).Code, limit);
    if (read.Error) {
        import.Error = ErrorAt(path, *read.Error);
        return import;
    }
    import.Unknown = read.Signal.Unknown;
    import.Points = VcdToTrace(read.Signal, limit);
    return import;
}

std::optional<std::string> UnknownValuesNote(std::size_t unknown) {
    if (unknown == 0)
        return std::nullopt;
    return "Значения x и z прочитаны как 0: " + std::to_string(unknown);
}

} // namespace trace
