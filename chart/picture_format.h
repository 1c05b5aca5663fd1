#pragma once
// The picture files the chart writes, told apart by the name's extension. No widgets.

#include <QString>

#include <optional>

namespace chart {

enum class TPictureFormat { Bitmap, EnhancedMetafile, Metafile, Png, Svg, Pdf };

// The format a file name asks for by its extension, whatever its case (".BMP" is a bitmap);
// none for any other extension or none at all.
std::optional<TPictureFormat> PictureFormatForName(const QString& name);

// The extensions PictureFormatForName knows, for messages: ".bmp, .emf, .wmf, .png, .svg, .pdf".
QString PictureExtensions();

} // namespace chart
