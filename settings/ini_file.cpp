#include "settings/ini_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace settings {

QString SettingsFolder() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/talvir");
}

TIniRead ReadIniFile(const QString& path) {
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        return {TIniText(), file.errorString()};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {TIniText(), file.errorString()};
    return {TIniText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))),
            {}};
}

namespace {

QString SystemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// Every byte or the reason why not: a write may take only part of what it is given (a full disk
// takes what still fits), and only the next write tells the error.
int WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

} // namespace

QString WriteIniFile(const QString& path, const TIniText& text) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("cannot create the folder %1").arg(folder);
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary = target + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return SystemError(errno);
    // The new file keeps the old one's permissions; a first one gets those a new file gets.
    struct stat old {};
    mode_t mode = 0;
    if (::stat(target.constData(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    int error = ::fchmod(fd, mode) < 0 ? errno : 0;
    if (!error)
        error = WriteAll(fd, text.Text());
    if (!error && ::fsync(fd) < 0)
        error = errno;
    if (::close(fd) < 0 && !error)
        error = errno;
    if (!error && ::rename(temporary.constData(), target.constData()) < 0)
        error = errno;
    if (error) {
        ::unlink(temporary.constData());
        return SystemError(error);
    }
    return {};
}

} // namespace settings
