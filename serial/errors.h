#pragma once
// Result codes of the serial stack and the exceptions they turn into.
//
// Below the port component every operation returns a signed code: 0 or more is success, a negative
// value names the failure. The component's one check (CheckException) turns a negative code into
// the exception class of that code, whose what() is the stored text. Pure functions; any thread.

#include <cstdint>
#include <exception>
#include <new>
#include <string>

namespace serial {

// Codes the stack produces itself (the platform's error numbers with stored texts are -2 .. -162).
enum : int {
    ecAccessDenied = -5,
    ecOutOfMemory = -8,
    ecDeviceWriteError = -160,
    ecDeviceReadError = -161,
    ecBadArgument = -1002,
    ecBadId = -2001,
    ecCommNotOpen = -2007,
    ecAlreadyOpen = -2008,
    ecNoPortSelected = -2011,
    ecNullApi = -3001,
    ecOutputBufferTooSmall = -3006,
    ecBufferIsEmpty = -3007,
    ecBadTriggerHandle = -5003,
};

// A system error number that no code of ours names travels as SystemErrorCode(number), and its
// exception carries the number and the system's own text. The stored texts of -2 .. -162 are of
// another platform's numbers: EINTR (4) would read "Too many open files" there.
constexpr int ecSystemErrorBase = -30000;
constexpr int MaxSystemError = 4095;
constexpr int SystemErrorCode(int Number) {
    return ecSystemErrorBase - Number;
}
constexpr bool IsSystemErrorCode(int Code) {
    return Code < ecSystemErrorBase && Code >= ecSystemErrorBase - MaxSystemError;
}

// The text stored for a code's magnitude; for platform error numbers without a stored text, and
// for system error codes, the system's own message, control characters turned to spaces and
// double spaces collapsed. At most 255 characters; empty when there is no text at all.
std::string ErrorText(unsigned Magnitude);

// The text of exceptions for negative codes that have neither a class nor a platform number.
extern const char* const GenericErrorText;

class ESerialException : public std::exception {
public:
    explicit ESerialException(int Code); // message: ErrorText(|Code|)
    ESerialException(int Code, std::string Message);
    int ErrorCode() const noexcept { return FCode; }
    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    int FCode;
    std::string FMessage;
};

class EGeneral : public ESerialException {
public:
    using ESerialException::ESerialException;
};
class EOpenComm : public ESerialException {
public:
    using ESerialException::ESerialException;
};
class ESerialIO : public ESerialException {
public:
    using ESerialException::ESerialException;
};
class ETrigger : public ESerialException {
public:
    using ESerialException::ESerialException;
};

// One class per code; each is constructed without arguments and knows its own code.
template <class TGroup, int Code> class TCodedException : public TGroup {
public:
    static constexpr int Value = Code;
    TCodedException() : TGroup(Code) {}
};

class EBadArgument : public TCodedException<EGeneral, -1002> {};
class EGotQuitMsg : public TCodedException<EGeneral, -1003> {};
class EBufferTooBig : public TCodedException<EGeneral, -1004> {};
class EPortNotAssigned : public TCodedException<EGeneral, -1005> {};
class EInternal : public TCodedException<EGeneral, -1006> {};
class EModemNotAssigned : public TCodedException<EGeneral, -1007> {};
class EPhonebookNotAssigned : public TCodedException<EGeneral, -1008> {};
class ECannotUseWithWinSock : public TCodedException<EGeneral, -1009> {};
class EBadId : public TCodedException<EOpenComm, -2001> {};
class EBaudRate : public TCodedException<EOpenComm, -2002> {};
class EByteSize : public TCodedException<EOpenComm, -2003> {};
class EDefault : public TCodedException<EOpenComm, -2004> {};
class EHardware : public TCodedException<EOpenComm, -2005> {};
class EMemory : public TCodedException<EOpenComm, -2006> {};
class ECommNotOpen : public TCodedException<EOpenComm, -2007> {};
class EAlreadyOpen : public TCodedException<EOpenComm, -2008> {};
class ENoHandles : public TCodedException<EOpenComm, -2009> {};
class ENoTimers : public TCodedException<EOpenComm, -2010> {};
class ENoPortSelected : public TCodedException<EOpenComm, -2011> {};
class ENotOpenedByTapi : public TCodedException<EOpenComm, -2012> {};
class ENullApi : public TCodedException<ESerialIO, -3001> {};
class ERegisterHandlerFailed : public TCodedException<ESerialIO, -3003> {};
class EPutBlockFail : public TCodedException<ESerialIO, -3004> {};
class EGetBlockFail : public TCodedException<ESerialIO, -3005> {};
class EOutputBufferTooSmall : public TCodedException<ESerialIO, -3006> {};
class EBufferIsEmpty : public TCodedException<ESerialIO, -3007> {};
class ETracingNotEnabled : public TCodedException<ESerialIO, -3008> {};
class ELoggingNotEnabled : public TCodedException<ESerialIO, -3009> {};
class EBaseAddressNotSet : public TCodedException<ESerialIO, -3010> {};
class ETriggerTooLong : public TCodedException<ETrigger, -5002> {};
class EBadTriggerHandle : public TCodedException<ETrigger, -5003> {};

// The input/output error for a platform error number, which it carries.
class EInOutError : public std::exception {
public:
    EInOutError(int ErrorCode, std::string Message);
    int ErrorCode() const noexcept { return FErrorCode; }
    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    int FErrorCode;
    std::string FMessage;
};

class EOutOfMemory : public std::bad_alloc {
public:
    const char* what() const noexcept override;
};

// Throws the exception of a negative code. Code must be negative. Message: the text of the
// input/output error of a platform or system error number when not empty (the device layer's own,
// which may name the device); else, and for every other code, the code's text.
[[noreturn]] void RaiseSerialError(int Code, std::string Message = {});

// Non-negative codes pass; a negative one raises, unless the component is loading, when it is
// returned unchanged.
int CheckException(bool Loading, int Code, std::string Message = {});

} // namespace serial
