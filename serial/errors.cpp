#include "serial/errors.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>

namespace serial {

namespace {

struct TTextEntry {
    unsigned Key;
    std::string_view Text;
};

// Sorted by magnitude for the binary search; the stored platform texts come before the system's.
constexpr TTextEntry TextTable[] = {
    {0, "OK"},
    {2, "File not found"},
    {3, "Path not found"},
    {4, "Too many open files"},
    {5, "File access denied"},
    {6, "Invalid file handle"},
    {8, "Insufficient memory"},
    {15, "Invalid drive"},
    {18, "No more files"},
    {100, "Attempt to read beyond end of file"},
    {101, "Disk is full"},
    {102, "File/device not assigned"},
    {103, "File/device not open"},
    {104, "File/device not open for input"},
    {105, "File/device not open for output"},
    {150, "Disk is write-protected"},
    {151, "Unknown disk unit"},
    {152, "Drive is not ready"},
    {153, "Unknown command"},
    {154, "Data error"},
    {155, "Bad request structure length"},
    {156, "Seek error"},
    {157, "Unknown media type"},
    {158, "Disk sector not found"},
    {159, "Printer is out of paper"},
    {160, "Device write error"},
    {161, "Device read error"},
    {162, "General failure"},
    {1001, "Bad handle passed to com function"},
    {1002, "Bad argument passed to function"},
    {1003, "Got quit message"},
    {1004, "Terminal buffer greater than 65521"},
    {1005, "ComPort component not assigned"},
    {1006, "Internal error creating window class"},
    {1007, "Modem component not assigned"},
    {1008, "Phonebook component not assigned"},
    {1009, "Component not compatible with WinSock"},
    {2001, "ie_BadId - Specified comport doesn't exist"},
    {2002, "ie_Baudrate - unsupported baud rate"},
    {2003, "ie_Bytesize - invalid byte size"},
    {2004, "ie_Default - error in default parameters"},
    {2005, "ie_Hardware - Specified comport in use"},
    {2006, "ie_Memory - unable to allocate queues"},
    {2007, "ie_NOpen - device not open"},
    {2008, "ie_Open - device already open"},
    {2009, "No more handles, can't open port"},
    {2010, "No timers available"},
    {2011, "The ComNumber property of the TSerialPort has not been set"},
    {2012, "Comport was not opened by Tapi"},
    {3001, "No device layer specified"},
    {3002, "Function not supported by driver"},
    {3003, "EnableCommNotification failed"},
    {3004, "Failed to put entire block"},
    {3005, "Failed to get entire block"},
    {3006, "Output buffer too small for block"},
    {3007, "Buffer is empty"},
    {3008, "Tracing not enabled"},
    {3009, "Logging not enabled"},
    {3010, "Base address not set"},
    {5001, "No more trigger slots"},
    {5002, "Data trigger too long"},
    {5003, "Bad trigger handle"},
};

constexpr std::size_t MaxTextLength = 255;

std::string_view StoredText(unsigned Magnitude) {
    auto It = std::lower_bound(std::begin(TextTable), std::end(TextTable), Magnitude,
                               [](const TTextEntry& E, unsigned K) { return E.Key < K; });
    return It != std::end(TextTable) && It->Key == Magnitude ? It->Text : std::string_view{};
}

std::string PlatformText(unsigned Magnitude) {
    char Buffer[512];
    // The GNU strerror_r returns either Buffer or a static text.
    std::string Text = strerror_r(static_cast<int>(Magnitude), Buffer, sizeof Buffer);
    std::replace_if(
        Text.begin(), Text.end(), [](char C) { return static_cast<unsigned char>(C) < 32; }, ' ');
    for (auto Pos = Text.find("  "); Pos != std::string::npos; Pos = Text.find("  "))
        Text.erase(Pos, 1);
    return Text;
}

} // namespace

const char* const GenericErrorText = "Unexpected serial communications error";

std::string ErrorText(unsigned Magnitude) {
    constexpr auto SystemBase = static_cast<unsigned>(-ecSystemErrorBase);
    std::string Text;
    if (Magnitude > SystemBase && Magnitude - SystemBase <= MaxSystemError)
        Text = PlatformText(Magnitude - SystemBase);
    else if ((Text = StoredText(Magnitude)).empty())
        Text = PlatformText(Magnitude);
    if (Text.size() > MaxTextLength)
        Text.resize(MaxTextLength);
    return Text;
}

ESerialException::ESerialException(int Code)
    : FCode(Code), FMessage(ErrorText(static_cast<unsigned>(Code < 0 ? -Code : Code))) {}

ESerialException::ESerialException(int Code, std::string Message)
    : FCode(Code), FMessage(std::move(Message)) {}

EInOutError::EInOutError(int ErrorCode, std::string Message)
    : FErrorCode(ErrorCode), FMessage(std::move(Message)) {}

const char* EOutOfMemory::what() const noexcept {
    return "Insufficient memory";
}

namespace {

template <class... TClasses> [[noreturn]] void RaiseClassOf(int Code, std::string Message) {
    // Throws the class whose code matches; falls through to the platform and generic cases.
    ((Code == TClasses::Value ? throw TClasses() : void()), ...);
    if (Code == ecOutOfMemory)
        throw EOutOfMemory();
    const int Number = IsSystemErrorCode(Code)      ? ecSystemErrorBase - Code
                       : Code <= -2 && Code >= -162 ? -Code
                                                    : 0;
    if (Number == 0)
        throw ESerialException(0, GenericErrorText);
    if (Message.empty())
        Message = ErrorText(static_cast<unsigned>(-Code));
    throw EInOutError(Number, std::move(Message));
}

} // namespace

void RaiseSerialError(int Code, std::string Message) {
    RaiseClassOf<EBadArgument, EGotQuitMsg, EBufferTooBig, EPortNotAssigned, EInternal,
                 EModemNotAssigned, EPhonebookNotAssigned, ECannotUseWithWinSock, EBadId, EBaudRate,
                 EByteSize, EDefault, EHardware, EMemory, ECommNotOpen, EAlreadyOpen, ENoHandles,
                 ENoTimers, ENoPortSelected, ENotOpenedByTapi, ENullApi, ERegisterHandlerFailed,
                 EPutBlockFail, EGetBlockFail, EOutputBufferTooSmall, EBufferIsEmpty,
                 ETracingNotEnabled, ELoggingNotEnabled, EBaseAddressNotSet, ETriggerTooLong,
                 EBadTriggerHandle>(Code, std::move(Message));
}

int CheckException(bool Loading, int Code, std::string Message) {
    if (Code < 0 && !Loading)
        RaiseSerialError(Code, std::move(Message));
    return Code;
}

} // namespace serial
