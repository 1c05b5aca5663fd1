#include "settings/ini_file.h"

#include "trace/file_io.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <exception>

namespace settings {

QString SettingsFolder() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/talvir");
}

TIniRead ReadIniFile(const QString& path) {
    if (!QFileInfo::exists(path))
        return {};
    try {
        const trace::TFileContent content(QFile::encodeName(path).toStdString());
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
        trace::ReplaceFileContent(QFile::encodeName(path).toStdString(), text.Text());
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

} // namespace settings
