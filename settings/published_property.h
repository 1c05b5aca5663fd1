#pragma once
// A property of a component that a TFormStorage can keep: its name as the component's type
// spells it, and its value as text both ways. The owner of the components publishes those that
// may persist; the text rules are the settings file's (value_text.h).

#include <QString>

#include <functional>
#include <string>

namespace settings {

struct TPublishedProperty {
    QString Name;
    std::function<std::string()> Text;
    // Sets the property from the text read back (trimmed), through the component's setter.
    std::function<void(const std::string&)> SetText;
};

// Read back as 0 when the text isn't a decimal integer.
TPublishedProperty IntegerProperty(const QString& name, std::function<int()> get,
                                   std::function<void(int)> set);

// Written with `digits` significant digits; text that doesn't convert leaves the property as it
// is. "." or the decimal separator of the default QLocale both read back.
TPublishedProperty FloatProperty(const QString& name, int digits, std::function<long double()> get,
                                 std::function<void(long double)> set);

} // namespace settings
