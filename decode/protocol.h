#pragma once
// The decoder host's protocol (docs/decoder-protocol.md): tab-separated text lines both ways,
// the samples as raw bytes after the line that announces them. Shared by the host program and
// its client; nothing here touches the decoder library.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace decode {

// Text in a field: backslash, tab, line feed and carriage return escaped as \\ \t \n \r.
std::string EscapeField(std::string_view text);
std::string UnescapeField(std::string_view text);

// A line's fields, each unescaped.
std::vector<std::string> SplitFields(std::string_view line);

// The fields escaped and joined by tabs, with the line feed.
std::string JoinFields(const std::vector<std::string>& fields);

// The device's sample rate 11059200 / (6n + 12) rounded to whole hertz, as the decoders take it:
// at most 0.5 Hz off, 5 ppm at the shortest sample period.
std::uint64_t SampleRateHz(unsigned divider);

} // namespace decode
