#include "app/application.h"

#include <QMessageBox>

#include <exception>

namespace app {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationDisplayName(QStringLiteral("Тальвир 1.0"));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        QMessageBox::critical(activeWindow(), applicationDisplayName(),
                              QString::fromUtf8(error.what()));
        return false;
    }
}

} // namespace app
