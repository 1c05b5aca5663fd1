// The dispatcher's buffers, its passes over the device and its deliveries to the window thread;
// its line settings are in dispatcher_settings.cpp and its triggers in dispatcher_triggers.cpp.

#include "serial/dispatcher.h"

#include "serial/dispatcher_table.h"
#include "serial/errors.h"

#include <algorithm>
#include <chrono>

namespace serial {

namespace {

std::atomic<uint64_t> NextSerial{1};

} // namespace

TBaseDispatcher::TBaseDispatcher(TMessageLoop& Loop, std::shared_ptr<TComDevice> Device)
    : FLoop(Loop), FDevice(std::move(Device)), FHandle(TDispatcherTable::Instance().Add(this)),
      FSerial(NextSerial++) {}

TBaseDispatcher::~TBaseDispatcher() {
    TDispatcherTable::Instance().Remove(this);
}

void TBaseDispatcher::AllocateBuffers(uint16_t OutSize) {
    {
        std::lock_guard Lock(FInput);
        FDispatch.Allocate(DispatchBufferSize);
    }
    std::lock_guard Lock(FOutput);
    FOutRing.Allocate(OutSize);
}

void TBaseDispatcher::FreeBuffers() {
    {
        std::lock_guard Lock(FInput);
        FDispatch.Release();
        FUnannounced = false;
        FTakeTicket = 0;
        FTaken = 0;
    }
    std::lock_guard Lock(FOutput);
    FOutRing.Release();
}

// ---- Output ----------------------------------------------------------------------------------

int TBaseDispatcher::PutBlock(const uint8_t* Data, std::size_t Length) {
    if (Length == 0)
        return 0;
    // Error bits seen now are added to those not yet reported, never put in their place.
    RefreshLineErrors();
    {
        std::lock_guard Lock(FOutput);
        if (!FOutRing.Write(Data, Length))
            return ecOutputBufferTooSmall;
    }
    FSent = true;
    SignalOutput();
    return 0;
}

uint32_t TBaseDispatcher::OutBuffUsed() {
    RefreshLineErrors();
    std::lock_guard Lock(FOutput);
    return FOutRing.Used();
}

uint32_t TBaseDispatcher::OutputPending() {
    const int InDevice = FDevice->OutQueue();
    return OutBuffUsed() + static_cast<uint32_t>(InDevice > 0 ? InDevice : 0);
}

uint32_t TBaseDispatcher::OutBuffFree() {
    RefreshLineErrors();
    std::lock_guard Lock(FOutput);
    return FOutRing.Free();
}

std::size_t TBaseDispatcher::TakeOutputRun(const uint8_t*& Run) {
    std::lock_guard Lock(FOutput);
    // Bytes that wrap around the end are moved to the front so they go out in one write.
    const TConstByteRun Pending = FOutRing.Gather();
    Run = Pending.Data;
    return Pending.Length;
}

void TBaseDispatcher::ConsumeOutput(std::size_t Count) {
    std::lock_guard Lock(FOutput);
    FOutRing.Drop(static_cast<uint32_t>(Count));
}

void TBaseDispatcher::ClearOutputRing() {
    std::lock_guard Lock(FOutput);
    FOutRing.Clear();
}

// ---- Input -----------------------------------------------------------------------------------

void TBaseDispatcher::ReadDevice() {
    // Only this thread writes into the free part of the ring and moves the write position, so the
    // device is read outside the input lock; handlers keep taking bytes meanwhile.
    std::array<TByteRun, 2> Free;
    {
        std::lock_guard Lock(FInput);
        Free = FDispatch.FreeRuns();
    }
    if (Free[0].Length == 0)
        return; // full (or freed): the rest waits in the device's own queue
    RefreshLineErrors();
    const int Waiting = FDevice->InQueue();
    if (Waiting <= 0)
        return;
    const auto Asked = static_cast<uint32_t>(Waiting);
    auto Total = static_cast<uint32_t>(std::max(FDevice->Read(Free[0].Data, Free[0].Length), 0));
    if (Total == Free[0].Length && Asked > Total && Free[1].Length > 0)
        Total += static_cast<uint32_t>(
            std::max(FDevice->Read(Free[1].Data, std::min(Asked - Total, Free[1].Length)), 0));
    if (Total == 0)
        return;
    std::lock_guard Lock(FInput);
    FDispatch.Commit(Total);
    FUnannounced = true;
}

int TBaseDispatcher::GetChar() {
    // A data handler calls this for every byte: it takes them from its run without the lock.
    if (FRunLeft > 0) [[likely]] {
        --FRunLeft;
        FTaken.store(FTaken.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        return *FRun++;
    }
    std::lock_guard Lock(FInput);
    const uint32_t Unread = FDispatch.Used();
    if (FTakeTicket != 0) {
        // The bytes are counted; the read position moves when the take ends.
        const uint32_t Taken = FTaken.load(std::memory_order_relaxed);
        if (Taken >= Unread)
            return ecBufferIsEmpty;
        const TConstByteRun Run = FDispatch.UnreadRun(Taken);
        FTaken.store(Taken + 1, std::memory_order_relaxed);
        if (FInHandler) {
            FRun = Run.Data + 1;
            FRunLeft = Run.Length - 1;
        }
        return Run.Data[0];
    }
    if (Unread == 0)
        return ecBufferIsEmpty;
    const uint8_t C = FDispatch.UnreadRun(0).Data[0];
    FDispatch.Drop(1);
    return C;
}

bool TBaseDispatcher::CharReady() {
    return InBuffUsed() > 0;
}

uint32_t TBaseDispatcher::InBuffUsed() {
    std::lock_guard Lock(FInput);
    const uint32_t Taken = FTakeTicket != 0 ? FTaken.load(std::memory_order_relaxed) : 0;
    const uint32_t Unread = FDispatch.Used();
    return Unread > Taken ? Unread - Taken : 0;
}

uint32_t TBaseDispatcher::ReceivedWaiting() {
    // The device's queue first: a byte that the dispatch thread moves into the buffer meanwhile
    // then counts twice for a moment rather than not at all.
    const int Queued = std::max(FDevice->InQueue(), 0);
    return InBuffUsed() + static_cast<uint32_t>(Queued);
}

void TBaseDispatcher::FlushInput() {
    FDevice->PurgeInput();
    std::lock_guard Lock(FInput);
    FRunLeft = 0;
    if (FTakeTicket != 0) {
        // Everything counts as taken by the handler; the end of its take moves the read position.
        FTaken.store(FDispatch.Used(), std::memory_order_relaxed);
    } else {
        FDispatch.Drop(FDispatch.Used());
    }
}

uint32_t TBaseDispatcher::EndTakeLocked() {
    const uint32_t Taken = FTakeTicket != 0 ? FTaken.load(std::memory_order_relaxed) : 0;
    FDispatch.Drop(Taken);
    FTakeTicket = 0;
    FTaken.store(0, std::memory_order_relaxed);
    return Taken;
}

// ---- Passes ----------------------------------------------------------------------------------

bool TBaseDispatcher::EventPass(uint32_t Events) {
    if (Events & (evCTS | evDSR | evRLSD | evRing | evRingTe)) {
        RefreshModemStatus();
        if (!Busy())
            RunStatusChecks();
    }
    if (Events & (evBreak | evErr)) {
        RefreshLineErrors();
        if (!Busy())
            RunStatusChecks();
    }
    ReadDevice();
    // While the handler takes everything and more has come meanwhile, read and offer that in the
    // same pass: a stream then costs one round trip to the window thread per batch, not three
    // thread hand-offs more. Bounded in time, so device events are waited for again regularly.
    bool Offered = false;
    const auto PassEnd = std::chrono::steady_clock::now() + PassLength;
    while (!Busy() && !FDeletePending && std::chrono::steady_clock::now() < PassEnd) {
        // The receive-event thread may be held back while a stream flows: each batch looks at the
        // modem lines itself, as each read looks at the line errors, so a change is seen within
        // a pace.
        RefreshModemStatus();
        RunStatusChecks();
        if (FDeletePending)
            break;
        const TDelivery Delivery = AvailCheck();
        Offered = Offered || Delivery != TDelivery::NotDelivered;
        if (Delivery != TDelivery::Taken)
            break;
        // For the watches each batch is a pass of its own: one fired and armed again since may
        // fire in the next.
        ClearHits();
        ReadDevice();
    }
    ClearHits();
    return Offered;
}

void TBaseDispatcher::StatusTimerPass() {
    if (FDeletePending || Busy())
        return;
    RunStatusChecks();
    const int Error = FDeviceError;
    if (Error != 0 && !FDeletePending && !FDeviceLostReported.exchange(true))
        Deliver(cwmDeviceLost, static_cast<uint16_t>(-Error), 0);
    ClearHits();
}

// ---- Delivery --------------------------------------------------------------------------------

TBaseDispatcher::TDelivery TBaseDispatcher::SendAndWait(TNotifyWindow& Window, TDispatchMessage M) {
    {
        std::lock_guard Lock(FInput);
        M.Ticket = ++FTicket;
        FTicketState = TTicketState::Posted;
        FAnnounced = 0;
    }
    Window.Post(M);
    // A data handler is done long before the pace of deliveries has passed, as a rule: sleeping
    // the pace out first spares this thread a wake-up for the handler's end each pace, and the
    // bytes that come meanwhile gather in the device's queue.
    if (M.Code == cwmAvail)
        std::this_thread::sleep_until(FNextAvail);
    // The device is read on while the window thread handles the message, or does not get to it
    // (a WaitForText that pumps no messages, a modal loop, a long save): arrivals never wait for a
    // handler.
    const auto Deadline = std::chrono::steady_clock::now() + FDeliveryWait;
    std::unique_lock Lock(FInput);
    while (FTicketState != TTicketState::Done) {
        if (std::chrono::steady_clock::now() >= Deadline) {
            FTicketState = TTicketState::GivenUp;
            break;
        }
        if (FTicketDone.wait_for(Lock, std::chrono::milliseconds(10)) == std::cv_status::timeout &&
            !FKill) {
            Lock.unlock();
            ReadDevice();
            Lock.lock();
        }
    }
    const bool Data = M.Code == cwmAvail || M.Code == cwmDataMatch;
    if (!Data || FDeletePending)
        return TDelivery::Taken;
    if (FTicketState == TTicketState::GivenUp) {
        // A handler still running ends its own take; the bytes it leaves are offered again,
        // with the whole unread count.
        FUnannounced = true;
        return TDelivery::NotDelivered;
    }
    const uint32_t Taken = FTakeTicket == M.Ticket ? EndTakeLocked() : 0;
    return M.Code == cwmAvail && Taken != FAnnounced ? TDelivery::NotAllTaken : TDelivery::Taken;
}

bool TBaseDispatcher::BeginHandling(TDispatchMessage& M) {
    ++FHandling;
    const bool Data = M.Code == cwmAvail || M.Code == cwmDataMatch;
    std::lock_guard Lock(FInput);
    if (M.Ticket != FTicket || FTicketState != TTicketState::Posted)
        return !Data; // given up on: a status delivery still counts, data is offered anew
    FTicketState = TTicketState::Running;
    if (!Data)
        return true;
    // A handler given up on that runs on (this one is nested in it) takes no more of its own.
    EndTakeLocked();
    FRunLeft = 0;
    const uint32_t Unread = FDispatch.Used();
    if (Unread == 0)
        return false;
    if (M.Code == cwmAvail)
        M.Param1 = static_cast<uint16_t>(std::min<uint32_t>(Unread, 0xFFFF));
    FAnnounced = M.Param1;
    FTakeTicket = M.Ticket;
    FInHandler = true;
    return true;
}

bool TBaseDispatcher::EndHandling(const TDispatchMessage& M) {
    --FHandling;
    {
        std::lock_guard Lock(FInput);
        FRunLeft = 0;
        FInHandler = false;
        if (M.Ticket != FTicket ||
            (FTicketState != TTicketState::Posted && FTicketState != TTicketState::Running)) {
            // Given up on while it ran: the dispatch thread went on, so the take ends here.
            if (FTakeTicket == M.Ticket)
                EndTakeLocked();
            return false;
        }
        FTicketState = TTicketState::Done;
    }
    FTicketDone.notify_all();
    return true;
}

TBaseDispatcher::TDelivery TBaseDispatcher::Deliver(uint16_t Code, uint16_t Param1,
                                                    uint16_t Param2Low) {
    {
        std::lock_guard Lock(FGeneral);
        if (!FServiceNeeded || FKill)
            return TDelivery::Taken;
        FDelivering = true;
        FTargets.clear();
        if (FWindowHandlers.size() > 1 || FPortHandlerInstalled)
            for (const auto& H : FWindowHandlers)
                if (!H.Removed)
                    FTargets.push_back(H.Window);
    }
    const TDispatchMessage M{
        Code, Param1, static_cast<uint32_t>(Param2Low) | (uint32_t(FHandle) << 16), FSerial, 0};
    TDelivery Result = TDelivery::Taken;
    // Each window's handler takes on from where the one before stopped. After a give-up the
    // window thread is not answering: the other windows are not asked either.
    for (TNotifyWindow* Window : FTargets) {
        const TDelivery Sent = SendAndWait(*Window, M);
        if (FDeletePending) {
            Result = TDelivery::NotDelivered;
            break;
        }
        if (Sent != TDelivery::Taken)
            Result = Sent;
        if (Sent == TDelivery::NotDelivered)
            break;
    }
    std::lock_guard Lock(FGeneral);
    FDelivering = false;
    FinishRemovals();
    return Result;
}

void TBaseDispatcher::PostClosePending() {
    const TDispatchMessage M{cwmClosePending, 0, uint32_t(FHandle) << 16, FSerial, 0};
    std::lock_guard Lock(FGeneral);
    for (const auto& H : FWindowHandlers)
        H.Window->Post(M);
}

// ---- Handlers --------------------------------------------------------------------------------

void TBaseDispatcher::RegisterWindowHandler(TNotifyWindow* Window) {
    std::lock_guard Lock(FGeneral);
    FWindowHandlers.push_back({Window});
    FServiceNeeded = true;
}

void TBaseDispatcher::DeregisterWindowHandler(TNotifyWindow* Window) {
    std::lock_guard Lock(FGeneral);
    for (auto& H : FWindowHandlers)
        if (H.Window == Window)
            H.Removed = true;
    if (!FDelivering)
        FinishRemovals();
}

void TBaseDispatcher::SetPortHandlerInstalled(bool Installed) {
    std::lock_guard Lock(FGeneral);
    FPortHandlerInstalled = Installed;
    RecomputeService();
}

bool TBaseDispatcher::ServiceNeeded() {
    std::lock_guard Lock(FGeneral);
    return FServiceNeeded;
}

void TBaseDispatcher::FinishRemovals() {
    const auto Before = FWindowHandlers.size();
    std::erase_if(FWindowHandlers, [](const TWindowHandler& H) { return H.Removed; });
    if (FWindowHandlers.size() != Before)
        RecomputeService();
}

void TBaseDispatcher::RecomputeService() {
    FServiceNeeded = FPortHandlerInstalled || FWindowHandlers.size() > 1;
}

} // namespace serial
