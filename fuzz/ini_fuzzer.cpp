// Any bytes as a settings file: reading never fails, the text stays byte for byte, a value
// written reads back as written without touching the other keys, and numbers read from the file
// convert both ways.

#include "settings/ini_text.h"
#include "settings/value_text.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

bool Blank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    settings::TIniText ini(text);
    Check(ini.Text() == text);

    const char* const section = "TMainForm";
    const char* const keys[] = {"FormVersion", "NormPos", "spedSamplePeriod_Value"};
    std::string before[3];
    for (int i = 0; i < 3; ++i) {
        before[i] = ini.ReadString(section, keys[i], "\n");
        settings::TextToInteger(before[i]);
        // Our own text of a number read from the file reads again (away from the ends of the
        // range, where 18 digits may round past them).
        if (const auto value = settings::TextToFloat(before[i], ",");
            value && std::fabs(*value) < 1e4000L && std::fabs(*value) > 1e-4000L)
            Check(settings::TextToFloat(settings::FloatText(*value, settings::ExtendedDigits), ".")
                      .has_value());
    }

    // A key and value from the text itself: its first and last lines.
    const std::string_view key = text.substr(0, std::min<std::size_t>(text.find('\n'), 12));
    const std::size_t lastBreak = text.rfind('\n');
    const std::string_view value =
        lastBreak == std::string_view::npos ? text : text.substr(lastBreak + 1);
    if (ini.WriteString(section, key, value) && !value.empty() && !Blank(value.front()) &&
        !Blank(value.back())) {
        Check(ini.ReadString(section, key, "\n") == value);
        for (int i = 0; i < 3; ++i)
            Check(ini.ReadString(section, keys[i], "\n") == before[i] ||
                  ini.ReadString(section, keys[i], "\n") == value);
    }
    return 0;
}
