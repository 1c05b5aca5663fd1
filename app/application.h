#pragma once

#include <QApplication>

namespace app {

// The application object. An exception that escapes an event handler ends up here: its message
// is shown in a message box and the program goes on with the next event.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace app
