#include "support/real_locale.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtGlobal>

#include <clocale>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace test_support {

namespace {

// The folder LOCPATH names, removed when the test program ends.
const QTemporaryDir& LocaleFolder() {
    static const QTemporaryDir folder;
    if (!folder.isValid())
        qFatal("cannot create a folder for compiled locales");
    return folder;
}

// Compiles NAME.UTF-8 from the locale sources once, into the folder.
void Compile(const QString& name, const QString& target) {
    if (QFileInfo(target + QStringLiteral("/LC_NUMERIC")).isFile())
        return;
    const QByteArray source = name.toLocal8Bit();
    const QByteArray output = target.toLocal8Bit();
    char localedef[] = "localedef";
    char input[] = "-i";
    char charmapOption[] = "-f";
    char charmap[] = "UTF-8";
    char* argv[] = {localedef,     input,   const_cast<char*>(source.constData()),
                    charmapOption, charmap, const_cast<char*>(output.constData()),
                    nullptr};
    pid_t child = 0;
    int status = 0;
    if (posix_spawnp(&child, localedef, nullptr, nullptr, argv, environ) != 0 ||
        waitpid(child, &status, 0) != child)
        qFatal("cannot run localedef");
    // localedef answers 1 for warnings about the source and still writes the locale.
    if (!QFileInfo(target + QStringLiteral("/LC_NUMERIC")).isFile())
        qFatal("localedef could not make %s (exit status %d); the package 'locales' holds its "
               "sources",
               source.constData(), WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

} // namespace

TRealLocale::TRealLocale(const QLocale& locale)
    : previousC_(std::setlocale(LC_ALL, nullptr)), previousQt_(QLocale()) {
    QByteArray name("C");
    if (locale != QLocale::c()) {
        const QString folder = LocaleFolder().path();
        name = (locale.name() + QStringLiteral(".UTF-8")).toLocal8Bit();
        Compile(locale.name(), QDir(folder).filePath(QString::fromLocal8Bit(name)));
        qputenv("LOCPATH", folder.toLocal8Bit());
    }
    if (!std::setlocale(LC_ALL, name.constData()))
        qFatal("the C library refuses the locale %s", name.constData());
    QLocale::setDefault(locale);
}

TRealLocale::~TRealLocale() {
    std::setlocale(LC_ALL, previousC_.c_str());
    QLocale::setDefault(previousQt_);
}

} // namespace test_support
