#pragma once
// TSerialPort: the line settings of one local serial port, its open and close sequences, queued
// output, received bytes, waiting for a text, status watches, and the events raised on the window
// thread when bytes arrive or a line condition occurs.
//
// Threading contract: the component, its setters, operations and events belong to the window
// thread. The worker threads of its dispatcher never call it; what they report arrives as messages
// at the port's notification window and is raised from there, under the dispatcher-table lock.
// An event handler may close the port: the dispatcher is then released after the handler returns
// (deferred release), and an Open set meanwhile is carried out once that release is done.
//
// The events are plain members, so the port cannot see them being assigned: it takes every
// delivery while open, and an event that is not assigned does nothing. Bytes delivered while no
// OnTriggerAvail is assigned are therefore offered again only when more arrive.

#include "serial/dispatcher.h"
#include "serial/errors.h"
#include "serial/message_loop.h"
#include "serial/tick_timer.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

namespace serial {

enum TDeviceLayer { dlWin16, dlFossil, dlWin32, dlWinsock };
enum TParity { pNone, pOdd, pEven, pMark, pSpace };
enum THWFlowOption { hwfUseDTR, hwfUseRTS, hwfRequireDSR, hwfRequireCTS };
enum TSWFlowOptions { swfNone, swfReceive, swfTransmit, swfBoth };
enum TTapiMode { tmNone, tmAuto, tmOn, tmOff };
enum TPortState { psClosed, psClosing, psOpen };

class THWFlowOptionSet {
public:
    constexpr THWFlowOptionSet() = default;
    constexpr THWFlowOptionSet(std::initializer_list<THWFlowOption> Options) {
        for (auto O : Options)
            FBits = static_cast<uint8_t>(FBits | (1u << O));
    }
    constexpr bool Contains(THWFlowOption O) const { return FBits & (1u << O); }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr uint8_t Bits() const { return FBits; }
    constexpr bool operator==(const THWFlowOptionSet&) const = default;

private:
    uint8_t FBits = 0;
};

// "COM" and the number.
std::string PortName(int ComNumber);

class TCommBaseComponent {
public:
    virtual ~TCommBaseComponent() = default;
    static std::string Version() { return "1.0"; }

    // While loading, property values are only stored, and failures are returned rather than
    // raised; EndLoading finishes what the stored values ask for.
    bool Loading() const { return FLoading; }
    void BeginLoading() { FLoading = true; }
    void EndLoading() {
        FLoading = false;
        Loaded();
    }

protected:
    virtual void Loaded() {}

private:
    bool FLoading = false;
};

class TSerialPort : public TCommBaseComponent {
public:
    // Loop: the window thread's message loop; null means DefaultMessageLoop().
    explicit TSerialPort(TMessageLoop* Loop = nullptr);
    ~TSerialPort() override;
    TSerialPort(const TSerialPort&) = delete;
    TSerialPort& operator=(const TSerialPort&) = delete;

    // Properties.
    TDeviceLayer DeviceLayer() const { return FDeviceLayer; }
    void SetDeviceLayer(TDeviceLayer Value);
    uint16_t ComNumber() const { return FComNumber; }
    void SetComNumber(uint16_t Value);
    int32_t Baud() const { return FBaud; }
    void SetBaud(int32_t Value);
    bool PromptForPort() const { return FPromptForPort; }
    void SetPromptForPort(bool Value) { FPromptForPort = Value; }
    TParity Parity() const { return FParity; }
    void SetParity(TParity Value);
    uint16_t DataBits() const { return FDataBits; }
    void SetDataBits(uint16_t Value);
    uint16_t StopBits() const { return FStopBits; }
    void SetStopBits(uint16_t Value);
    uint16_t InSize() const { return FInSize; }
    void SetInSize(uint16_t Value);
    uint16_t OutSize() const { return FOutSize; }
    void SetOutSize(uint16_t Value);
    bool AutoOpen() const { return FAutoOpen; }
    void SetAutoOpen(bool Value) { FAutoOpen = Value; }
    bool Open() const { return FOpen; }
    void SetOpen(bool Value);
    bool DTR() const { return FDTR; }
    void SetDTR(bool Value);
    bool RTS() const { return FRTS; }
    void SetRTS(bool Value);
    THWFlowOptionSet HWFlowOptions() const { return FHWFlowOptions; }
    void SetHWFlowOptions(THWFlowOptionSet Value);
    TSWFlowOptions SWFlowOptions() const { return FSWFlowOptions; }
    void SetSWFlowOptions(TSWFlowOptions Value);
    uint8_t XOnChar() const { return FXOnChar; }
    void SetXOnChar(uint8_t Value);
    uint8_t XOffChar() const { return FXOffChar; }
    void SetXOffChar(uint8_t Value);
    uint16_t BufferFull() const { return FBufferFull; }
    void SetBufferFull(uint16_t Value) { FBufferFull = Value; }
    uint16_t BufferResume() const { return FBufferResume; }
    void SetBufferResume(uint16_t Value) { FBufferResume = Value; }
    TTapiMode TapiMode() const { return FTapiMode; }
    void SetTapiMode(TTapiMode Value) { FTapiMode = Value; }

    TPortState State() const { return FState; }

    // Operations.
    void SendChar(uint8_t C);
    void SendString(const std::string& S);
    uint8_t ReadChar();
    bool CharReady();
    // Received bytes not read yet; 0 while closed.
    uint32_t InBuffUsed();
    // InBuffUsed and the bytes the device has received that the port has not read from it yet;
    // 0 while closed (this does not open it).
    uint32_t ReceivedWaiting();
    // Waits until Text has arrived, consuming what comes before it and leaving what follows.
    bool WaitForText(const std::string& Text, int32_t Ticks, bool PumpMessages, bool IgnoreCase);
    uint32_t OutputPending();
    uint16_t AddStatusWatch(uint16_t Kind);
    void ArmStatusWatch(uint16_t Handle, uint16_t Value, bool Activate);
    void RemoveStatusWatch(uint16_t Handle);

    // Events, raised on the window thread.
    std::function<void(TSerialPort* CP, uint16_t Msg, uint16_t TriggerHandle, uint16_t Data)>
        OnTrigger;
    std::function<void(TSerialPort* CP, uint16_t Count)> OnTriggerAvail;
    std::function<void(TSerialPort* CP, uint16_t TriggerHandle)> OnTriggerData;
    std::function<void(TSerialPort* CP, uint16_t TriggerHandle)> OnTriggerStatus;
    std::function<void(TSerialPort* CP, uint16_t TriggerHandle)> OnTriggerTimer;
    std::function<void(TSerialPort* CP, uint16_t Error, bool LineBreak)> OnTriggerLineError;
    std::function<void(TSerialPort* Sender)> OnTriggerModemStatus;
    std::function<void(TSerialPort* Sender)> OnTriggerOutbuffFree;
    std::function<void(TSerialPort* Sender)> OnTriggerOutbuffUsed;
    std::function<void(TSerialPort* Sender)> OnTriggerOutSent;
    std::function<void(TSerialPort* CP, uint8_t C)> OnWaitChar;
    // The device failed while open, typically because it vanished (a USB adapter pulled, the
    // other side of a pseudo-terminal closed). Code: the negative result code; raised once.
    std::function<void(TSerialPort* CP, int Code)> OnDeviceLost;

    // Seams for tests and tools: where the device comes from (default: the local device named by
    // the port map), how a port number is asked for when ComNumber is 0 (a window sets the modal
    // "Select Port" prompt, SelectComPort; without a prompt such an open fails with
    // ecNoPortSelected), and the clock of WaitForText's time-out.
    using TDeviceFactory = std::function<std::shared_ptr<TComDevice>()>;
    void SetDeviceFactory(TDeviceFactory Factory) { FDeviceFactory = std::move(Factory); }
    using TPortPrompt = std::function<bool(uint16_t& ComNumber)>;
    void SetPortPrompt(TPortPrompt Prompt) { FPortPrompt = std::move(Prompt); }
    void SetClock(TMsClock Clock) { FClock = std::move(Clock); }
    // A device path to open instead of the one the port map gives COMn; empty for the port map.
    // No prompt is asked for while it is set.
    const std::string& DevicePath() const { return FDevicePath; }
    void SetDevicePath(std::string Path) { FDevicePath = std::move(Path); }
    // How long the dispatcher waits for a handler before it goes on (3000 ms); from the next open.
    void SetDeliveryWait(std::chrono::milliseconds Wait) { FDeliveryWait = Wait; }

protected:
    void Loaded() override;

private:
    void DoOpen();
    void DoClose();
    void Release();
    void ClosePending(const TDispatchMessage& M);
    void PromptPortNumber();
    void ApplyOpenSettings();
    TBaseDispatcher* ValidDispatcher();
    int Check(int Code) { return CheckException(Loading(), Code); }
    void WindowProc(const TDispatchMessage& M);
    void RaiseEvents(TBaseDispatcher& D, const TDispatchMessage& M);
    bool IsOpenState() const { return FState == psOpen; }

    TMessageLoop& FLoop;
    TDeviceFactory FDeviceFactory;
    TPortPrompt FPortPrompt;
    TMsClock FClock;
    std::string FDevicePath;
    std::chrono::milliseconds FDeliveryWait = DeliveryWait;

    TDeviceLayer FDeviceLayer = dlWin32;
    uint16_t FComNumber = 0;
    int32_t FBaud = 19200;
    bool FPromptForPort = true;
    TParity FParity = pNone;
    uint16_t FDataBits = 8;
    uint16_t FStopBits = 1;
    uint16_t FInSize = 4096;
    uint16_t FOutSize = 4096;
    bool FAutoOpen = true;
    bool FOpen = false;
    bool FDTR = true;
    bool FRTS = true;
    THWFlowOptionSet FHWFlowOptions;
    TSWFlowOptions FSWFlowOptions = swfNone;
    uint8_t FXOnChar = 17;
    uint8_t FXOffChar = 19;
    uint16_t FBufferFull = 0;
    uint16_t FBufferResume = 0;
    TTapiMode FTapiMode = tmAuto;

    TPortState FState = psClosed;
    bool FForce = false;
    bool FOpenPending = false;
    std::optional<TSavedTriggers> FSavedTriggers;
    // Shared so that a WaitForText that pumps messages keeps it alive across a close.
    std::shared_ptr<TBaseDispatcher> FDispatcher;
    std::unique_ptr<TNotifyWindow> FWindow;
};

} // namespace serial
