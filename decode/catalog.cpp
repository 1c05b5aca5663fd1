#include "decode/catalog.h"

#include <algorithm>

namespace decode {

std::vector<const TDecoderInfo*> LineDecoders(const std::vector<TDecoderInfo>& decoders) {
    std::vector<const TDecoderInfo*> fitting;
    for (const TDecoderInfo& decoder : decoders)
        if (!decoder.Channel.empty())
            fitting.push_back(&decoder);
    return fitting;
}

std::vector<const TDecoderInfo*> DecodersOn(const std::vector<TDecoderInfo>& decoders,
                                            const TDecoderInfo& below) {
    std::vector<const TDecoderInfo*> fitting;
    for (const TDecoderInfo& decoder : decoders) {
        const bool takes = std::any_of(
            decoder.Inputs.begin(), decoder.Inputs.end(), [&](const std::string& input) {
                return std::find(below.Outputs.begin(), below.Outputs.end(), input) !=
                       below.Outputs.end();
            });
        if (takes)
            fitting.push_back(&decoder);
    }
    return fitting;
}

const TDecoderInfo* FindDecoder(const std::vector<TDecoderInfo>& decoders, std::string_view id) {
    const auto found = std::find_if(decoders.begin(), decoders.end(),
                                    [&](const TDecoderInfo& decoder) { return decoder.Id == id; });
    return found == decoders.end() ? nullptr : &*found;
}

} // namespace decode
