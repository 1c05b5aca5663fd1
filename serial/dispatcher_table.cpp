#include "serial/dispatcher_table.h"

#include <algorithm>

namespace serial {

TDispatcherTable& TDispatcherTable::Instance() {
    static TDispatcherTable Table;
    return Table;
}

uint16_t TDispatcherTable::Add(TBaseDispatcher* Dispatcher) {
    std::lock_guard Guard(FLock);
    auto Empty = std::find(FSlots.begin(), FSlots.end(), nullptr);
    if (Empty != FSlots.end()) {
        *Empty = Dispatcher;
        return static_cast<uint16_t>(Empty - FSlots.begin());
    }
    FSlots.push_back(Dispatcher);
    return static_cast<uint16_t>(FSlots.size() - 1);
}

void TDispatcherTable::Remove(TBaseDispatcher* Dispatcher) {
    std::lock_guard Guard(FLock);
    std::replace(FSlots.begin(), FSlots.end(), Dispatcher, static_cast<TBaseDispatcher*>(nullptr));
    while (!FSlots.empty() && FSlots.back() == nullptr)
        FSlots.pop_back();
    if (FLastDispatcher == Dispatcher) {
        FLastHandle = 0xFFFF;
        FLastDispatcher = nullptr;
    }
}

TBaseDispatcher* TDispatcherTable::Find(uint16_t Handle) {
    std::lock_guard Guard(FLock);
    if (Handle == FLastHandle)
        return FLastDispatcher;
    if (Handle >= FSlots.size() || FSlots[Handle] == nullptr)
        return nullptr;
    FLastHandle = Handle;
    FLastDispatcher = FSlots[Handle];
    return FLastDispatcher;
}

std::size_t TDispatcherTable::Count() {
    std::lock_guard Guard(FLock);
    return static_cast<std::size_t>(
        std::count_if(FSlots.begin(), FSlots.end(), [](auto* D) { return D != nullptr; }));
}

} // namespace serial
