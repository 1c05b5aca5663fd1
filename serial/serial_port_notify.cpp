// TSerialPort's notification window: a delivery of the dispatch thread reaches the port's event
// handlers here, on the window thread, under the dispatcher-table lock.

#include "serial/serial_port.h"

#include "serial/dispatcher_table.h"

namespace serial {

void TSerialPort::WindowProc(const TDispatchMessage& M) {
    auto& Table = TDispatcherTable::Instance();
    std::lock_guard Lock(Table.Lock());
    try {
        if (M.Code == cwmClosePending) {
            ClosePending(M);
            return;
        }
        // Kept alive for the handler's whole run: a handler may close the port, and a modal loop
        // inside it may then release the dispatcher.
        const std::shared_ptr<TBaseDispatcher> D = FDispatcher;
        // Messages of a dispatcher already released, or of an earlier one, are stale.
        if (!D || D.get() != Table.Find(static_cast<uint16_t>(M.Param2 >> 16)) ||
            D->Serial() != M.Serial)
            return;
        TDispatchMessage Handled = M;
        try {
            if (D->BeginHandling(Handled) && !D->Killed() && FState == psOpen)
                RaiseEvents(*D, Handled);
        } catch (...) {
            D->EndHandling(Handled);
            throw;
        }
        // A close inside the handler: the dispatch thread, no longer waiting, ends at once, and
        // the port is closed before anything else runs. After a give-up, its cwmClosePending
        // does that instead.
        if (D->EndHandling(Handled) && D->DeletePending() && FState == psClosing &&
            D == FDispatcher)
            ClosePending(M);
    } catch (...) {
        // The delivery counts as handled with what the handler had taken.
        FLoop.HandleException(std::current_exception());
    }
}

void TSerialPort::RaiseEvents(TBaseDispatcher& D, const TDispatchMessage& M) {
    const auto Low = static_cast<uint16_t>(M.Param2 & 0xFFFF);
    if (OnTrigger)
        OnTrigger(this, M.Code, M.Param1, M.Code == cwmAvail ? M.Param1 : Low);
    if (FState != psOpen)
        return; // OnTrigger closed the port
    switch (M.Code) {
    case cwmAvail:
        if (OnTriggerAvail)
            OnTriggerAvail(this, M.Param1);
        break;
    case cwmDataMatch:
        if (OnTriggerData)
            OnTriggerData(this, M.Param1);
        break;
    case cwmTimer:
        if (OnTriggerTimer)
            OnTriggerTimer(this, M.Param1);
        break;
    case cwmDeviceLost:
        if (OnDeviceLost)
            OnDeviceLost(this, -static_cast<int>(M.Param1));
        break;
    case cwmStatus: {
        if (OnTriggerStatus)
            OnTriggerStatus(this, M.Param1);
        if (FState != psOpen)
            return;
        switch (M.Param1 & 7) {
        case skModem:
            if (OnTriggerModemStatus)
                OnTriggerModemStatus(this);
            break;
        case skLineError:
            if (OnTriggerLineError) {
                const bool Break = D.CheckLineBreak();
                const uint16_t Error = D.GetLineError();
                OnTriggerLineError(this, Error, Break);
            }
            break;
        case skOutFree:
            if (OnTriggerOutbuffFree)
                OnTriggerOutbuffFree(this);
            break;
        case skOutUsed:
            if (OnTriggerOutbuffUsed)
                OnTriggerOutbuffUsed(this);
            break;
        case skOutSent:
            if (OnTriggerOutSent)
                OnTriggerOutSent(this);
            break;
        default:
            break;
        }
        break;
    }
    default:
        break;
    }
}

} // namespace serial
