#include "app/application.h"

#include <QMessageBox>

#include <exception>

namespace app {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("talvir"));
    setApplicationVersion(QStringLiteral("1.0"));
    setDesktopFileName(QStringLiteral("talvir"));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        QMessageBox::critical(activeWindow(), QString::fromUtf16(ApplicationTitle),
                              QString::fromUtf8(error.what()));
        return false;
    }
}

} // namespace app
