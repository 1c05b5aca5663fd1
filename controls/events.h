#pragma once
// The event types the controls raise and the helper that raises one only when it is assigned.

#include <QChar>
#include <QObject>

#include <functional>

namespace controls {

// Events are plain callables, empty by default; the sender is the control that raises them.
using TNotifyEvent = std::function<void(QObject* Sender)>;

// Key is in/out: a handler may replace the character or drop it by setting QChar(0).
using TKeyPressEvent = std::function<void(QObject* Sender, QChar& Key)>;

// Raises an event only when a handler is assigned.
inline void Raise(const TNotifyEvent& event, QObject* sender) {
    if (event)
        event(sender);
}

} // namespace controls
