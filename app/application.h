#pragma once
// The application object and its title: the last stop of an exception that escapes an event
// handler.

#include <QApplication>

namespace app {

// The application's title, the caption of its error reports.
inline constexpr char16_t ApplicationTitle[] = u"Тальвир 1.0";

// The application object. An exception that escapes an event handler ends up here: its message
// is shown in a message box and the program goes on with the next event.
//
// The desktop knows the application by its desktop entry talvir.desktop ("Тальвир"), matched by
// the windows' class "talvir". No display name is set: the window system would append it to the
// title of every window and box.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace app
