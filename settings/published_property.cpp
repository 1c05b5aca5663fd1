#include "settings/published_property.h"

#include "settings/value_text.h"

#include <QLocale>

namespace settings {

TPublishedProperty IntegerProperty(const QString& name, std::function<int()> get,
                                   std::function<void(int)> set) {
    return {name, [get = std::move(get)] { return IntegerText(get()); },
            [set = std::move(set)](const std::string& text) { set(TextToInteger(text)); }};
}

TPublishedProperty FloatProperty(const QString& name, int digits, std::function<long double()> get,
                                 std::function<void(long double)> set) {
    return {name, [get = std::move(get), digits] { return FloatText(get(), digits); },
            [set = std::move(set)](const std::string& text) {
                if (const auto value = TextToFloat(text, QLocale().decimalPoint().toStdString()))
                    set(*value);
            }};
}

} // namespace settings
