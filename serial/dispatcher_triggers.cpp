// The dispatcher's triggers: the status watches and their handles, the avail threshold, the line
// errors and modem lines they watch, and the checks the dispatch thread runs on them in its passes.

#include "serial/dispatcher.h"

#include "serial/errors.h"

#include <algorithm>
#include <chrono>

namespace serial {

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
        Count = static_cast<uint16_t>(FOutRing.Free());
        return Count >= W.Value;
    }
    case skOutUsed: {
        std::lock_guard Lock(FOutput);
        Count = static_cast<uint16_t>(FOutRing.Used());
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
        Count = FDispatch.Used();
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
    if (FUnannounced && Threshold != 0 && FDispatch.Used() >= Threshold)
        return std::min(PaceLeft(), Period);
    return std::nullopt;
}

} // namespace serial
