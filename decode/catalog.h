#pragma once
// Which of the library's decoders the operator may choose where in a stack: pure rules over the
// list the host gives.

#include "decode/client.h"

#include <string_view>
#include <vector>

namespace decode {

// The decoders that take our line: those with a channel for it, in the list's order.
std::vector<const TDecoderInfo*> LineDecoders(const std::vector<TDecoderInfo>& decoders);

// The decoders that stack on `below`: one of their inputs is one of its outputs.
std::vector<const TDecoderInfo*> DecodersOn(const std::vector<TDecoderInfo>& decoders,
                                            const TDecoderInfo& below);

// The decoder of `id`, or null.
const TDecoderInfo* FindDecoder(const std::vector<TDecoderInfo>& decoders, std::string_view id);

} // namespace decode
