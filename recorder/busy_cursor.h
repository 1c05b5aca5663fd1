#pragma once
// The busy cursor over a long step of the window.

#include <QApplication>

namespace recorder {

// The hourglass for as long as it lives, also when a step throws.
class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

} // namespace recorder
