// TSerialPort: opening and closing the port and the operations on an open one. Its property
// setters are in serial_port_settings.cpp, its notification window in serial_port_notify.cpp.

#include "serial/serial_port.h"

#include "serial/errors.h"
#include "serial/local_dispatcher.h"
#include "serial/port_map.h"

#include <cctype>
#include <thread>
#include <vector>

namespace serial {

std::string PortName(int ComNumber) {
    return "COM" + std::to_string(ComNumber);
}

TSerialPort::TSerialPort(TMessageLoop* Loop)
    : FLoop(Loop ? *Loop : DefaultMessageLoop()),
      FDeviceFactory([] { return CreateLocalDevice(); }), FClock(SteadyMs) {}

TSerialPort::~TSerialPort() {
    FOpenPending = false;
    try {
        DoClose();
    } catch (...) {
        // A destructor has nobody to report to; the device is closed either way.
    }
    // A release deferred by a close inside a handler: the threads end as soon as it returns.
    while (FDispatcher && FDispatcher->ThreadsActive()) {
        FLoop.ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (FDispatcher)
        Release();
}

// ---- Open and close --------------------------------------------------------------------------

void TSerialPort::SetOpen(bool Value) {
    if (Loading()) {
        FOpen = Value;
        return;
    }
    if (!Value) {
        FOpenPending = false;
        DoClose();
    } else if (FState == psClosing) {
        FOpenPending = true;
    } else if (!FOpen) {
        DoOpen();
    }
}

void TSerialPort::Loaded() {
    if (!FOpen)
        return;
    FOpen = false;
    try {
        DoOpen();
    } catch (...) {
        FOpen = false;
        FLoop.HandleException(std::current_exception());
    }
}

void TSerialPort::PromptPortNumber() {
    uint16_t Chosen = 0;
    if (!FPromptForPort || !FPortPrompt || !FPortPrompt(Chosen) || Chosen == 0)
        RaiseSerialError(ecNoPortSelected);
    FComNumber = Chosen;
}

void TSerialPort::DoOpen() {
    if (FState != psClosed)
        return;
    if (FTapiMode != tmOn && FComNumber == 0 && FDevicePath.empty())
        PromptPortNumber();
    if (FDeviceLayer != dlWin32) {
        Check(ecNullApi);
        return;
    }
    if (!FWindow)
        FWindow = FLoop.CreateNotifyWindow([this](const TDispatchMessage& M) { WindowProc(M); });
    const std::shared_ptr<TComDevice> Device = FDeviceFactory();
    auto D = std::make_shared<TLocalDispatcher>(FLoop, Device);
    D->SetDeliveryWait(FDeliveryWait);
    TPortConfig Config;
    Config.DevicePath = FDevicePath.empty() ? PortDevicePath(FComNumber) : FDevicePath;
    Config.Baud = FBaud;
    Config.Parity = static_cast<uint8_t>(FParity);
    Config.DataBits = FDataBits;
    Config.StopBits = FStopBits;
    Config.InSize = FInSize;
    Config.OutSize = FOutSize;
    Config.DTR = FDTR;
    Config.RTS = FRTS;
    const int Result = D->InitPort(Config);
    if (Result < 0) {
        D.reset();
        // The device's own text may name the device and what to do about it.
        const TDeviceError Error = Device->LastError();
        CheckException(Loading(), Result, Error.Code == Result ? Error.Text : std::string());
        return;
    }
    FDispatcher = D;
    FState = psOpen;
    try {
        D->SetPortHandlerInstalled(true);
        ApplyOpenSettings();
        FOpen = true;
        D->RegisterWindowHandler(FWindow.get());
        if (FSavedTriggers)
            D->RestoreTriggers(*FSavedTriggers);
    } catch (...) {
        FForce = false;
        D->DonePort();
        FDispatcher.reset();
        FState = psClosed;
        FOpen = false;
        throw;
    }
}

void TSerialPort::ApplyOpenSettings() {
    FForce = true;
    SetHWFlowOptions(FHWFlowOptions);
    SetSWFlowOptions(FSWFlowOptions);
    SetXOnChar(FXOnChar);
    SetXOffChar(FXOffChar);
    FDispatcher->SetAvailThreshold(1);
    SetDTR(FDTR);
    SetRTS(FRTS);
    FForce = false;
}

void TSerialPort::DoClose() {
    FOpen = false;
    if (FState != psOpen)
        return;
    FState = psClosing;
    FSavedTriggers = FDispatcher->SaveTriggers();
    FDispatcher->DonePort();
    // Inside a handler the dispatcher goes once the handler has returned: its dispatch thread
    // posts cwmClosePending on its way out.
    if (!FDispatcher->DeletePending())
        Release();
}

void TSerialPort::Release() {
    FDispatcher->DeregisterWindowHandler(FWindow.get());
    FDispatcher.reset();
    FState = psClosed;
    if (FOpenPending) {
        FOpenPending = false;
        DoOpen();
    }
}

void TSerialPort::ClosePending(const TDispatchMessage& M) {
    if (FState != psClosing || !FDispatcher || FDispatcher->Serial() != M.Serial)
        return;
    // Posted by the dispatch thread on its way out: the others end within moments.
    FDispatcher->WaitThreadsEnded();
    Release();
}

TBaseDispatcher* TSerialPort::ValidDispatcher() {
    if (!FDispatcher && FAutoOpen && !Loading())
        SetOpen(true);
    if (!FDispatcher || FState != psOpen) {
        Check(ecCommNotOpen);
        return nullptr;
    }
    return FDispatcher.get();
}

// ---- Operations ------------------------------------------------------------------------------

void TSerialPort::SendChar(uint8_t C) {
    if (FState == psClosing)
        return;
    if (auto* D = ValidDispatcher())
        Check(D->PutChar(C));
}

void TSerialPort::SendString(const std::string& S) {
    if (FState == psClosing || S.empty())
        return;
    if (auto* D = ValidDispatcher())
        Check(D->PutBlock(reinterpret_cast<const uint8_t*>(S.data()), S.size()));
}

uint8_t TSerialPort::ReadChar() {
    // An avail handler calls this for every byte it takes: the common case goes straight through.
    if (FState == psOpen) [[likely]] {
        const int C = FDispatcher->GetChar();
        if (C >= 0)
            return static_cast<uint8_t>(C);
    }
    if (FState == psClosing)
        return 0;
    auto* D = ValidDispatcher();
    if (!D)
        return 0;
    const int C = D->GetChar();
    Check(C);
    return C < 0 ? 0 : static_cast<uint8_t>(C);
}

bool TSerialPort::CharReady() {
    return InBuffUsed() > 0;
}

uint32_t TSerialPort::InBuffUsed() {
    if (FState == psClosing)
        return 0;
    auto* D = ValidDispatcher();
    return D ? D->InBuffUsed() : 0;
}

uint32_t TSerialPort::ReceivedWaiting() {
    return IsOpenState() ? FDispatcher->ReceivedWaiting() : 0;
}

uint32_t TSerialPort::OutputPending() {
    return IsOpenState() ? FDispatcher->OutputPending() : 0;
}

uint16_t TSerialPort::AddStatusWatch(uint16_t Kind) {
    if (FState == psClosing)
        return 0;
    auto* D = ValidDispatcher();
    if (!D)
        return 0;
    const int Handle = Check(D->AddStatusTrigger(Kind));
    return Handle < 0 ? 0 : static_cast<uint16_t>(Handle);
}

void TSerialPort::ArmStatusWatch(uint16_t Handle, uint16_t Value, bool Activate) {
    if (FState == psClosing)
        return;
    auto* D = ValidDispatcher();
    if (!D)
        return;
    Check(D->SetStatusTrigger(Handle, Value, Activate));
}

void TSerialPort::RemoveStatusWatch(uint16_t Handle) {
    if (IsOpenState())
        Check(FDispatcher->RemoveTrigger(Handle));
}

namespace {

// Failure function of the Knuth-Morris-Pratt matcher: for each prefix of Text, the length of its
// longest proper prefix that is also its suffix. A text whose start repeats ("aab" in "aaab") is
// then found wherever it begins.
std::vector<std::size_t> PrefixTable(const std::string& Text) {
    std::vector<std::size_t> Table(Text.size(), 0);
    for (std::size_t I = 1, K = 0; I < Text.size(); ++I) {
        while (K > 0 && Text[I] != Text[K])
            K = Table[K - 1];
        if (Text[I] == Text[K])
            ++K;
        Table[I] = K;
    }
    return Table;
}

char Fold(char C, bool IgnoreCase) {
    return IgnoreCase ? static_cast<char>(std::toupper(static_cast<unsigned char>(C))) : C;
}

} // namespace

bool TSerialPort::WaitForText(const std::string& Text, int32_t Ticks, bool PumpMessages,
                              bool IgnoreCase) {
    if (Text.empty() || FState == psClosing)
        return true;
    if (!ValidDispatcher())
        return false;
    const std::shared_ptr<TBaseDispatcher> D = FDispatcher;
    const bool WasBusy = D->SetBusy(true);

    std::string Pattern = Text;
    for (char& C : Pattern)
        C = Fold(C, IgnoreCase);
    const auto Table = PrefixTable(Pattern);
    const TTickTimer Timer = NewTimer(TicksOf(FClock()), Ticks);
    std::size_t Matched = 0;
    bool Found = false;
    bool Terminating = false;
    // A handler run by the message pump may close the port; then the text will not come.
    while (FDispatcher == D) {
        if (D->CharReady()) {
            const int Byte = D->GetChar();
            if (Byte >= 0) {
                if (OnWaitChar)
                    OnWaitChar(this, static_cast<uint8_t>(Byte));
                const char C = Fold(static_cast<char>(Byte), IgnoreCase);
                while (Matched > 0 && C != Pattern[Matched])
                    Matched = Table[Matched - 1];
                if (C == Pattern[Matched])
                    ++Matched;
                if (Matched == Pattern.size()) {
                    Found = true;
                    break;
                }
            }
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (TimerExpired(Timer, TicksOf(FClock())))
            break;
        if (PumpMessages)
            FLoop.ProcessMessages();
        if ((Terminating = FLoop.Terminating()))
            break;
    }
    if (!WasBusy)
        D->SetBusy(false);
    return Found || Terminating;
}

} // namespace serial
