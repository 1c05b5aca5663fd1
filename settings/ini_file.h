#pragma once
// Profile files on disk: where the program keeps them, reading one whole and writing one so that
// a crash or a full disk never leaves a truncated file behind.

#include "settings/ini_text.h"

#include <QString>

namespace settings {

// The program's folder (files::ConfigFolder), where the port map lies too. Throws
// std::runtime_error when there is none.
QString SettingsFolder();

struct TIniRead {
    TIniText Text;
    QString Error; // empty when the file was read or is missing
};

// A missing file reads as an empty text.
TIniRead ReadIniFile(const QString& path);

// Writes the text into a temporary file beside the file, synced, and renames it over the file
// (files::ReplaceFileContent), creating the folder when missing. Empty when written, else the
// reason; the old file is then whole. QSaveFile would not do: it takes a short write on a full
// disk for success and renames a truncated file over the old one.
QString WriteIniFile(const QString& path, const TIniText& text);

} // namespace settings
