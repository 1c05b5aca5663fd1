#pragma once
// Puts a test under one of the C library's real locales, as a program started with LANG set to
// it runs: the C library's number formatting (which Qt's start-up switches to the user's
// LC_NUMERIC) and Qt's default locale both follow it. The locale is compiled from the system's
// locale sources with localedef into a temporary folder of the test's own, once per process, so
// the machine need not have it installed; a locale that cannot be made ends the test program.

#include <QLocale>

#include <string>

namespace test_support {

class TRealLocale {
public:
    // QLocale(QLocale::Russian, QLocale::Russia) puts the test under ru_RU.UTF-8, QLocale::c()
    // under "C".
    explicit TRealLocale(const QLocale& locale);
    // Back to the locales in place before.
    ~TRealLocale();
    TRealLocale(const TRealLocale&) = delete;
    TRealLocale& operator=(const TRealLocale&) = delete;

private:
    std::string previousC_;
    QLocale previousQt_;
};

} // namespace test_support
