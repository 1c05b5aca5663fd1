#pragma once
// The process-wide table of open dispatchers; a dispatcher's index is its handle, which every
// delivery carries so the notification window can find the dispatcher again.
//
// Threading contract: window thread only; worker threads never take this lock. The window thread
// holds Lock() for the whole handling of a notification message (event handlers included), so it
// is recursive: a handler may close its port, which removes the dispatcher. Lock order: this lock
// before any lock of a dispatcher.

#include <cstdint>
#include <mutex>
#include <vector>

namespace serial {

class TBaseDispatcher;

class TDispatcherTable {
public:
    static TDispatcherTable& Instance();

    std::recursive_mutex& Lock() { return FLock; }
    // Each takes the lock itself.
    uint16_t Add(TBaseDispatcher* Dispatcher);
    void Remove(TBaseDispatcher* Dispatcher);
    TBaseDispatcher* Find(uint16_t Handle);
    std::size_t Count();

private:
    std::recursive_mutex FLock;
    std::vector<TBaseDispatcher*> FSlots;
    // The last lookup, answered again without a search.
    uint16_t FLastHandle = 0xFFFF;
    TBaseDispatcher* FLastDispatcher = nullptr;
};

} // namespace serial
