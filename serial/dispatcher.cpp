#include "serial/dispatcher.h"

#include "serial/dispatcher_table.h"
#include "serial/errors.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace serial {

namespace {

std::atomic<uint64_t> NextSerial{1};

uint32_t RingUsed(uint32_t Head, uint32_t Tail, bool Full, uint32_t Size) {
    if (Full)
        return Size;
    return Head >= Tail ? Head - Tail : Head + Size - Tail;
}

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
        FDispBuf.assign(DispatchBufferSize, 0);
    }
    std::lock_guard Lock(FOutput);
    FOutBuf.assign(OutSize, 0);
}

void TBaseDispatcher::FreeBuffers() {
    {
        std::lock_guard Lock(FInput);
        FDispBuf = {};
        FDispHead = FDispTail = 0;
        FUnannounced = false;
        FDispFull = false;
        FTakeTicket = 0;
        FTaken = 0;
    }
    std::lock_guard Lock(FOutput);
    FOutBuf = {};
    FOutHead = FOutTail = 0;
    FOutFull = false;
}

// ---- Output ----------------------------------------------------------------------------------

uint32_t TBaseDispatcher::OutUsedLocked() const {
    return RingUsed(FOutHead, FOutTail, FOutFull, static_cast<uint32_t>(FOutBuf.size()));
}

int TBaseDispatcher::PutBlock(const uint8_t* Data, std::size_t Length) {
    if (Length == 0)
        return 0;
    // Error bits seen now are added to those not yet reported, never put in their place.
    RefreshLineErrors();
    {
        std::lock_guard Lock(FOutput);
        const auto Size = static_cast<uint32_t>(FOutBuf.size());
        const uint32_t Free = Size - OutUsedLocked();
        if (Free < Length)
            return ecOutputBufferTooSmall;
        const auto Len = static_cast<uint32_t>(Length);
        const uint32_t First = std::min(Len, Size - FOutHead);
        std::memcpy(&FOutBuf[FOutHead], Data, First);
        std::memcpy(FOutBuf.data(), Data + First, Len - First);
        FOutHead = (FOutHead + Len) % Size;
        FOutFull = Free == Len;
    }
    FSent = true;
    SignalOutput();
    return 0;
}

uint32_t TBaseDispatcher::OutBuffUsed() {
    RefreshLineErrors();
    std::lock_guard Lock(FOutput);
    return OutUsedLocked();
}

uint32_t TBaseDispatcher::OutputPending() {
    const int InDevice = FDevice->OutQueue();
    return OutBuffUsed() + static_cast<uint32_t>(InDevice > 0 ? InDevice : 0);
}

uint32_t TBaseDispatcher::OutBuffFree() {
    RefreshLineErrors();
    std::lock_guard Lock(FOutput);
    return static_cast<uint32_t>(FOutBuf.size()) - OutUsedLocked();
}

std::size_t TBaseDispatcher::TakeOutputRun(const uint8_t*& Run) {
    std::lock_guard Lock(FOutput);
    const auto Size = static_cast<uint32_t>(FOutBuf.size());
    const uint32_t Used = OutUsedLocked();
    if (Used == 0)
        return 0;
    // Bytes that wrap around the end are moved to the front so they go out in one write.
    if ((FOutTail > FOutHead || FOutFull) && FOutHead != 0) {
        std::rotate(FOutBuf.begin(), FOutBuf.begin() + FOutTail, FOutBuf.end());
        FOutTail = 0;
        FOutHead = Used % Size;
    }
    Run = &FOutBuf[FOutTail];
    return FOutHead > FOutTail ? FOutHead - FOutTail : Size - FOutTail;
}

void TBaseDispatcher::ConsumeOutput(std::size_t Count) {
    std::lock_guard Lock(FOutput);
    if (Count == 0 || FOutBuf.empty())
        return;
    FOutTail = static_cast<uint32_t>((FOutTail + Count) % FOutBuf.size());
    FOutFull = false;
}

void TBaseDispatcher::ClearOutputRing() {
    std::lock_guard Lock(FOutput);
    FOutHead = FOutTail = 0;
    FOutFull = false;
}

// ---- Input -----------------------------------------------------------------------------------

void TBaseDispatcher::ReadDevice() {
    // Only this thread writes into the free part of the ring and moves the write position, so the
    // device is read outside the input lock; handlers keep taking bytes meanwhile.
    uint32_t Head, Free, First;
    {
        std::lock_guard Lock(FInput);
        if (FDispFull || FDispBuf.empty())
            return; // the rest waits in the device's own queue
        Head = FDispHead;
        Free = DispatchBufferSize - UnreadLocked();
        First = FDispTail > FDispHead ? FDispTail - FDispHead : DispatchBufferSize - FDispHead;
    }
    RefreshLineErrors();
    const int Waiting = FDevice->InQueue();
    if (Waiting <= 0)
        return;
    uint8_t* const Ring = FDispBuf.data();
    const int Got = std::max(FDevice->Read(Ring + Head, First), 0);
    int Total = Got;
    if (static_cast<uint32_t>(Got) == First && Waiting > Got && Free > First) {
        const uint32_t Second = std::min(static_cast<uint32_t>(Waiting), Free) - First;
        Total += std::max(FDevice->Read(Ring + (Head + First) % DispatchBufferSize, Second), 0);
    }
    if (Total == 0)
        return;
    std::lock_guard Lock(FInput);
    FDispHead = (Head + static_cast<uint32_t>(Total)) % DispatchBufferSize;
    FDispFull = FDispHead == FDispTail;
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
    const uint32_t Unread = UnreadLocked();
    if (FTakeTicket != 0) {
        // The bytes are counted; the read position moves when the take ends.
        const uint32_t Taken = FTaken.load(std::memory_order_relaxed);
        if (Taken >= Unread)
            return ecBufferIsEmpty;
        const uint32_t Pos = (FDispTail + Taken) % DispatchBufferSize;
        FTaken.store(Taken + 1, std::memory_order_relaxed);
        if (FInHandler) {
            FRun = FDispBuf.data() + Pos + 1;
            FRunLeft = std::min(Unread - Taken, DispatchBufferSize - Pos) - 1;
        }
        return FDispBuf[Pos];
    }
    if (Unread == 0)
        return ecBufferIsEmpty;
    const uint8_t C = FDispBuf[FDispTail];
    FDispTail = (FDispTail + 1) % DispatchBufferSize;
    FDispFull = false;
    return C;
}

bool TBaseDispatcher::CharReady() {
    return InBuffUsed() > 0;
}

uint32_t TBaseDispatcher::InBuffUsed() {
    std::lock_guard Lock(FInput);
    const uint32_t Taken = FTakeTicket != 0 ? FTaken.load(std::memory_order_relaxed) : 0;
    const uint32_t Unread = UnreadLocked();
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
        FTaken.store(UnreadLocked(), std::memory_order_relaxed);
    } else {
        FDispTail = FDispHead;
        FDispFull = false;
    }
}

uint32_t TBaseDispatcher::EndTakeLocked() {
    const uint32_t Taken = FTakeTicket != 0 ? FTaken.load(std::memory_order_relaxed) : 0;
    if (Taken != 0) {
        FDispTail = (FDispTail + Taken) % DispatchBufferSize;
        FDispFull = false;
    }
    FTakeTicket = 0;
    FTaken.store(0, std::memory_order_relaxed);
    return Taken;
}

// ---- Triggers --------------------------------------------------------------------------------

int TBaseDispatcher::AddStatusTrigger(uint16_t Kind) {
    if (Kind > skOutSent)
        return ecBadArgument;
    std::lock_guard Lock(FGeneral);
    uint16_t Base;
    if (FHandleCounter < 4096) {
        Base = static_cast<uint16_t>(FHandleCounter * 8);
        ++FHandleCounter;
    } else {
        Base = 8;
        while (std::any_of(FStatusWatches.begin(), FStatusWatches.end(),
                           [Base](const TStatusWatch& W) { return (W.Handle & ~7) == Base; }))
            Base = static_cast<uint16_t>(Base + 8);
    }
    TStatusWatch W;
    W.Handle = static_cast<uint16_t>(Base + Kind);
    W.Kind = Kind;
    FStatusWatches.push_back(W);
    return W.Handle;
}

int TBaseDispatcher::SetStatusTrigger(uint16_t Handle, uint16_t Value, bool Activate) {
    std::lock_guard Lock(FGeneral);
    auto W = std::find_if(FStatusWatches.begin(), FStatusWatches.end(),
                          [Handle](const TStatusWatch& S) { return S.Handle == Handle; });
    if (W == FStatusWatches.end())
        return ecBadTriggerHandle;
    if (Activate) {
        switch (W->Kind) {
        case skModem:
            W->Value = Value;
            W->ModemReference = static_cast<uint8_t>(FModemStatus & Value);
            break;
        case skLineError:
            // Mask bits 0-3 select overrun, parity, framing and break: line-error bits 1-4.
            W->Value = static_cast<uint16_t>((Value & 0x0F) << 1);
            break;
        default:
            W->Value = Value;
            break;
        }
    }
    W->Active = Activate;
    SignalDispatch();
    return 0;
}

int TBaseDispatcher::RemoveTrigger(uint16_t Handle) {
    std::lock_guard Lock(FGeneral);
    if (Handle == AvailTriggerHandle) {
        FAvailThreshold = 0;
        return 0;
    }
    auto W = std::find_if(FStatusWatches.begin(), FStatusWatches.end(),
                          [Handle](const TStatusWatch& S) { return S.Handle == Handle; });
    if (W == FStatusWatches.end())
        return ecBadTriggerHandle;
    FStatusWatches.erase(W);
    return 0;
}

void TBaseDispatcher::SetAvailThreshold(uint16_t Count) {
    {
        std::lock_guard Lock(FGeneral);
        FAvailThreshold = Count;
    }
    SignalDispatch();
}

TSavedTriggers TBaseDispatcher::SaveTriggers() {
    std::lock_guard Lock(FGeneral);
    return {FAvailThreshold, FStatusWatches};
}

void TBaseDispatcher::RestoreTriggers(const TSavedTriggers& Saved) {
    std::lock_guard Lock(FGeneral);
    FAvailThreshold = Saved.AvailThreshold;
    FStatusWatches = Saved.StatusWatches;
    // The counter restarted with this dispatcher; new watches must not reuse restored handles.
    for (const auto& W : FStatusWatches)
        FHandleCounter =
            std::max<uint16_t>(FHandleCounter, static_cast<uint16_t>(W.Handle / 8 + 1));
    SignalDispatch();
}

bool TBaseDispatcher::CheckLineBreak() {
    return FLineErrors.fetch_and(static_cast<uint16_t>(~leBreak)) & leBreak;
}

uint16_t TBaseDispatcher::GetLineError() {
    static constexpr uint16_t Codes[] = {1, 2, 3, 4, 9};
    uint16_t Bits = FLineErrors;
    for (int Bit = 0; Bit < 5; ++Bit) {
        if (Bits & (1u << Bit)) {
            // Reporting one error forgets the others; a break stays for CheckLineBreak.
            FLineErrors.fetch_and(
                static_cast<uint16_t>(~(leOverflow | leOverrun | leParity | leFraming)));
            return Codes[Bit];
        }
    }
    return 0;
}

void TBaseDispatcher::RefreshModemStatus() {
    const uint8_t Lines = FDevice->ModemStatus();
    const uint8_t Old = FModemStatus;
    FModemStatus = static_cast<uint8_t>(Lines | (((Old ^ Lines) >> 4) & 0x0F));
}

bool TBaseDispatcher::StatusHolds(const TStatusWatch& W, uint16_t& Count) {
    switch (W.Kind) {
    case skModem:
        return (FModemStatus & W.Value) != W.ModemReference;
    case skLineError:
        return (FLineErrors & W.Value) != 0;
    case skOutFree: {
        std::lock_guard Lock(FOutput);
        Count = static_cast<uint16_t>(FOutBuf.size() - OutUsedLocked());
        return Count >= W.Value;
    }
    case skOutUsed: {
        std::lock_guard Lock(FOutput);
        Count = static_cast<uint16_t>(OutUsedLocked());
        return Count <= W.Value;
    }
    case skOutSent:
        return FSent.exchange(false);
    default:
        return false;
    }
}

bool TBaseDispatcher::StatusCheck() {
    uint16_t Handle = 0;
    uint16_t Count = 0;
    {
        std::lock_guard Lock(FGeneral);
        for (auto& W : FStatusWatches) {
            uint16_t Current = 0;
            if (W.Active && !W.Hit && StatusHolds(W, Current)) {
                // Once per arming: the owner arms it again for the next occurrence.
                W.Active = false;
                W.Hit = true;
                FHitInPass = true;
                Handle = W.Handle;
                Count = (W.Kind == skOutFree || W.Kind == skOutUsed) ? Current : 0;
                break;
            }
        }
    }
    if (Handle == 0)
        return false;
    Deliver(cwmStatus, Handle, Count);
    return true;
}

void TBaseDispatcher::RunStatusChecks() {
    while (!FDeletePending && StatusCheck()) {
    }
}

void TBaseDispatcher::ClearHits() {
    std::lock_guard Lock(FGeneral);
    if (!FHitInPass)
        return;
    for (auto& W : FStatusWatches)
        W.Hit = false;
    FHitInPass = false;
}

TBaseDispatcher::TDelivery TBaseDispatcher::AvailCheck() {
    if (std::chrono::steady_clock::now() < FNextAvail)
        return TDelivery::NotDelivered; // offered once the pace has passed
    uint16_t Threshold;
    {
        std::lock_guard Lock(FGeneral);
        Threshold = FAvailThreshold;
    }
    uint32_t Count;
    {
        std::lock_guard Lock(FInput);
        Count = UnreadLocked();
        if (Threshold == 0 || !FUnannounced || Count < Threshold)
            return TDelivery::NotDelivered;
        // Bytes read while this delivery runs are announced by the next one.
        FUnannounced = false;
    }
    FNextAvail = std::chrono::steady_clock::now() + AvailPace;
    return Deliver(cwmAvail, static_cast<uint16_t>(Count), 0);
}

std::chrono::milliseconds TBaseDispatcher::PaceLeft() const {
    using namespace std::chrono;
    const auto Left = FNextAvail - steady_clock::now();
    return Left > steady_clock::duration::zero() ? ceil<milliseconds>(Left) : milliseconds(0);
}

std::optional<std::chrono::milliseconds> TBaseDispatcher::NextLook() {
    constexpr std::chrono::milliseconds Period(50);
    if (FBusy)
        return Period;
    uint16_t Threshold;
    {
        std::lock_guard Lock(FGeneral);
        for (const auto& W : FStatusWatches)
            if (W.Active && (W.Kind == skOutFree || W.Kind == skOutUsed || W.Kind == skOutSent))
                return Period;
        Threshold = FAvailThreshold;
    }
    // Bytes that no delivery would offer (no threshold, or fewer than it asks for) wait for
    // more to arrive or for a new threshold, both of which wake this thread.
    std::lock_guard Lock(FInput);
    if (FUnannounced && Threshold != 0 && UnreadLocked() >= Threshold)
        return std::min(PaceLeft(), Period);
    return std::nullopt;
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
    const uint32_t Unread = UnreadLocked();
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
