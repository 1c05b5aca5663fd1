#include "settings/ini_file.h"

#include "files/config_folder.h"
#include "files/file_io.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <exception>
#include <stdexcept>

namespace settings {

QString SettingsFolder() {
    const std::string folder = files::ConfigFolder();
    if (folder.empty())
        throw std::runtime_error(
            "No folder for the settings: neither XDG_CONFIG_HOME nor HOME names one");
    return QFile::decodeName(folder.c_str());
}

TIniRead ReadIniFile(const QString& path) {
    if (!QFileInfo::exists(path))
        return {};
    try {
        const files::TFileContent content(QFile::encodeName(path).toStdString());
        return {TIniText(content.View()), {}};
    } catch (const std::exception& error) {
        return {TIniText(), QString::fromUtf8(error.what())};
    }
}

QString WriteIniFile(const QString& path, const TIniText& text) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("cannot create the folder %1").arg(folder);
    try {
        files::ReplaceFileContent(QFile::encodeName(path).toStdString(), text.Text());
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

} // namespace settings
