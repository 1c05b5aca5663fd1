#include "chart/picture_format.h"

#include <QFileInfo>
#include <QStringList>

#include <array>
#include <utility>

namespace chart {

namespace {

constexpr std::array<std::pair<const char*, TPictureFormat>, 6> Extensions{{
    {"bmp", TPictureFormat::Bitmap},
    {"emf", TPictureFormat::EnhancedMetafile},
    {"wmf", TPictureFormat::Metafile},
    {"png", TPictureFormat::Png},
    {"svg", TPictureFormat::Svg},
    {"pdf", TPictureFormat::Pdf},
}};

} // namespace

std::optional<TPictureFormat> PictureFormatForName(const QString& name) {
    const QString suffix = QFileInfo(name).suffix();
    for (const auto& [extension, format] : Extensions) {
        if (suffix.compare(QLatin1String(extension), Qt::CaseInsensitive) == 0)
            return format;
    }
    return std::nullopt;
}

QString PictureExtensions() {
    QStringList list;
    for (const auto& entry : Extensions)
        list << QLatin1Char('.') + QLatin1String(entry.first);
    return list.join(QStringLiteral(", "));
}

} // namespace chart
