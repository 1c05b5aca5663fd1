// The local serial device on POSIX systems: a tty driven through termios.

#include "serial/device.h"

#include "serial/errors.h"

#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace serial {

namespace {

// The name of a group, or empty when it has none.
std::string GroupName(gid_t Id) {
    group Entry;
    group* Found = nullptr;
    std::vector<char> Buffer(16384);
    if (::getgrgid_r(Id, &Entry, Buffer.data(), Buffer.size(), &Found) != 0 || !Found)
        return {};
    return Found->gr_name;
}

// A refused device names itself and how to get access: membership of the group that owns it,
// which on Debian is dialout for serial ports. Joining a group takes effect at the next login.
std::string AccessDeniedText(const std::string& Path) {
    std::string Hint = "On Debian serial ports belong to the group dialout: join it (sudo usermod "
                       "-aG dialout $USER), then log in again.";
    struct stat Info;
    if (::stat(Path.c_str(), &Info) == 0) {
        if (Info.st_gid == 0)
            Hint = "It belongs to root: ask the administrator to give it to a group such as "
                   "dialout, then join that group.";
        else if (const std::string Name = GroupName(Info.st_gid); !Name.empty())
            Hint = "Join the group " + Name + " that owns it (sudo usermod -aG " + Name +
                   " $USER), then log in again.";
    }
    return ErrorText(static_cast<unsigned>(-ecAccessDenied)) + ": " + Path + "\n" + Hint;
}

constexpr std::pair<int32_t, speed_t> Speeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {3000000, B3000000}, {4000000, B4000000},
};

bool SpeedOf(int32_t Rate, speed_t& Speed) {
    for (auto [R, S] : Speeds)
        if (R == Rate) {
            Speed = S;
            return true;
        }
    return false;
}

int32_t RateOf(speed_t Speed) {
    for (auto [R, S] : Speeds)
        if (S == Speed)
            return R;
    return 0;
}

// Takes the lock of an open tty, then makes sure no other program has put it in exclusive mode,
// which root passes at open: 0, or the system's error number that says why the port is not ours.
// A port another program holds is left as it was.
int TakePort(int Fd) {
    if (::flock(Fd, LOCK_EX | LOCK_NB) != 0)
        return errno;
    int Exclusive = 0;
    if (::ioctl(Fd, TIOCGEXCL, &Exclusive) != 0)
        return errno;
    return Exclusive ? EBUSY : 0;
}

class TPosixDevice final : public TComDevice {
public:
    ~TPosixDevice() override {
        Close();
        if (FFd >= 0)
            ::close(FFd);
        if (FWake >= 0)
            ::close(FWake);
    }

    int Open(const std::string& Path) override {
        FPath = Path;
        FFd = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (FFd < 0)
            return Fail(errno);
        // Exclusive mode keeps other programs out; root passes it, so the lock guards among root
        // users. It is set only once the port is ours, and taken back if the open fails after it.
        int Error = TakePort(FFd);
        if (Error == 0)
            Error = ::ioctl(FFd, TIOCEXCL) == 0 ? 0 : errno;
        if (Error == 0 && (Error = StartLine()) != 0)
            ::ioctl(FFd, TIOCNXCL);
        if (Error != 0) {
            const int Result = Fail(Error);
            ::close(FFd); // and with it the lock
            FFd = -1;
            return Result;
        }
        FOpen = true;
        ReadCounts(FErrCounts);
        FWaitCounts = FErrCounts;
        return 0;
    }

    void Close() override {
        if (!FOpen.exchange(false))
            return;
        // The descriptor stays valid until destruction, as worker threads may still be polling
        // it; the lock and the exclusive mode go now so the port can be opened again at once.
        ::tcsetattr(FFd, TCSANOW, &FSaved);
        ::ioctl(FFd, TIOCNXCL);
        ::flock(FFd, LOCK_UN);
        Wake();
    }

    int GetSettings(TDeviceSettings& Settings) override {
        termios T;
        if (::tcgetattr(FFd, &T) != 0)
            return Fail(errno);
        Settings = FBlock;
        Settings.BaudRate = RateOf(::cfgetospeed(&T));
        switch (T.c_cflag & CSIZE) {
        case CS5:
            Settings.ByteSize = 5;
            break;
        case CS6:
            Settings.ByteSize = 6;
            break;
        case CS7:
            Settings.ByteSize = 7;
            break;
        default:
            Settings.ByteSize = 8;
            break;
        }
        if (!(T.c_cflag & PARENB))
            Settings.Parity = 0;
        else if (T.c_cflag & CMSPAR)
            Settings.Parity = (T.c_cflag & PARODD) ? 3 : 4;
        else
            Settings.Parity = (T.c_cflag & PARODD) ? 1 : 2;
        Settings.StopBits = !(T.c_cflag & CSTOPB)    ? sbOne
                            : Settings.ByteSize == 5 ? sbOneAndHalf
                                                     : sbTwo;
        Settings.XonChar = T.c_cc[VSTART];
        Settings.XoffChar = T.c_cc[VSTOP];
        return 0;
    }

    int SetSettings(const TDeviceSettings& S) override {
        termios T;
        if (::tcgetattr(FFd, &T) != 0)
            return Fail(errno);
        speed_t Speed = ::cfgetospeed(&T);
        if (S.BaudRate != 0 && !SpeedOf(S.BaudRate, Speed))
            return Fail(EINVAL);
        ::cfsetspeed(&T, Speed);
        T.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
        static constexpr tcflag_t Sizes[] = {CS5, CS6, CS7, CS8};
        T.c_cflag |= Sizes[S.ByteSize >= 5 && S.ByteSize <= 8 ? S.ByteSize - 5 : 3];
        if (S.Parity != 0)
            T.c_cflag |= PARENB | (S.Parity == 1 || S.Parity == 3 ? PARODD : 0) |
                         (S.Parity >= 3 ? CMSPAR : 0);
        if (S.StopBits != sbOne)
            T.c_cflag |= CSTOPB;
        if (S.OutxCtsFlow || S.RtsControl == lcHandshake)
            T.c_cflag |= CRTSCTS;
        T.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
        T.c_iflag |= (S.OutX ? IXON : 0) | (S.InX ? IXOFF : 0) | (S.ParityCheck ? INPCK : 0);
        T.c_cc[VSTART] = S.XonChar;
        T.c_cc[VSTOP] = S.XoffChar;
        if (::tcsetattr(FFd, TCSANOW, &T) != 0)
            return Fail(errno);
        FBlock = S;
        if (S.DtrControl != lcHandshake)
            SetDTR(S.DtrControl == lcEnable);
        if (S.RtsControl != lcHandshake)
            SetRTS(S.RtsControl == lcEnable);
        return 0;
    }

    // The kernel's queues have fixed sizes.
    int SetQueueSizes(uint32_t, uint32_t) override { return 0; }

    int SetDTR(bool Raised) override { return SetLine(TIOCM_DTR, Raised); }
    int SetRTS(bool Raised) override { return SetLine(TIOCM_RTS, Raised); }

    int PurgeInput() override { return ::tcflush(FFd, TCIFLUSH) == 0 ? 0 : Fail(errno); }
    // Only what still waits in our transmit queue is dropped. A pseudo-terminal keeps no such
    // queue: flushing it would discard what the other side has not read yet, bytes that have
    // already left us, such as the final CR a stop waits for.
    int PurgeOutput() override {
        if (OutQueue() <= 0)
            return 0;
        return ::tcflush(FFd, TCOFLUSH) == 0 ? 0 : Fail(errno);
    }

    int InQueue() override {
        int Count = 0;
        return ::ioctl(FFd, FIONREAD, &Count) == 0 ? Count : Fail(errno);
    }

    int OutQueue() override {
        int Count = 0;
        return ::ioctl(FFd, TIOCOUTQ, &Count) == 0 ? Count : Fail(errno);
    }

    int Read(uint8_t* Buffer, std::size_t Size) override {
        if (!FOpen)
            return Fail(EBADF);
        FReadSinceReport = true;
        ssize_t Got = ::read(FFd, Buffer, Size);
        if (Got >= 0)
            return static_cast<int>(Got);
        return errno == EAGAIN || errno == EINTR ? 0 : Fail(errno);
    }

    int Write(const uint8_t* Buffer, std::size_t Size) override {
        if (!FOpen)
            return Fail(EBADF, ecDeviceWriteError);
        ssize_t Put = ::write(FFd, Buffer, Size);
        if (Put >= 0)
            return static_cast<int>(Put);
        return errno == EAGAIN || errno == EINTR ? 0 : Fail(errno, ecDeviceWriteError);
    }

    void WaitWritable(int TimeoutMs) override {
        pollfd P{FFd, POLLOUT, 0};
        ::poll(&P, 1, TimeoutMs);
    }

    uint16_t ReadErrors() override {
        std::lock_guard Lock(FErrLock);
        return ErrorsSince(FErrCounts);
    }

    uint8_t ModemStatus() override {
        int Lines = 0;
        if (::ioctl(FFd, TIOCMGET, &Lines) != 0)
            return 0; // pseudo-terminals have no modem lines
        return static_cast<uint8_t>(
            ((Lines & TIOCM_CTS) ? msCTS : 0) | ((Lines & TIOCM_DSR) ? msDSR : 0) |
            ((Lines & TIOCM_RI) ? msRing : 0) | ((Lines & TIOCM_CD) ? msDCD : 0));
    }

    int SetEventMask(uint32_t Mask) override {
        FMask = Mask;
        Wake();
        return 0;
    }

    // poll() is level-triggered while the device's own event is edge-triggered: a byte that
    // waits in the queue is reported once, and again only after a read or more arrivals, so a
    // full dispatch buffer does not make this loop spin. Line errors and modem lines have no
    // descriptor event of their own and are looked at every 50 ms.
    int WaitEvent(uint32_t& Events) override {
        Events = 0;
        for (;;) {
            const uint32_t Mask = FMask;
            if (Mask == 0 || !FOpen)
                return 0;
            const bool WantData = (Mask & evRxChar) && (FReadSinceReport || InQueue() != FReported);
            pollfd P[2] = {{FFd, static_cast<short>(WantData ? POLLIN : 0), 0}, {FWake, POLLIN, 0}};
            int Ready = ::poll(P, 2, 50);
            if (Ready < 0 && errno != EINTR)
                return Fail(errno);
            if (P[1].revents & POLLIN) {
                uint64_t Drain;
                [[maybe_unused]] auto Ignored = ::read(FWake, &Drain, sizeof Drain);
                continue;
            }
            if (P[0].revents & (POLLHUP | POLLERR | POLLNVAL))
                return Fail(EIO);
            if (P[0].revents & POLLIN) {
                FReadSinceReport = false;
                FReported = InQueue();
                Events |= evRxChar;
            }
            Events |= LineEvents(Mask);
            if (Events != 0)
                return 0;
        }
    }

    TDeviceError LastError() const override {
        std::lock_guard Lock(FErrorLock);
        return FLastError;
    }

private:
    // The line in raw mode, its settings kept for Close, and the descriptor that wakes
    // WaitEvent: 0, or the system's error number.
    int StartLine() {
        if (::tcgetattr(FFd, &FSaved) != 0)
            return errno;
        if ((FWake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) < 0)
            return errno;
        termios Raw = FSaved;
        ::cfmakeraw(&Raw);
        Raw.c_cflag |= CLOCAL | CREAD;
        Raw.c_cc[VMIN] = 0;
        Raw.c_cc[VTIME] = 0;
        return ::tcsetattr(FFd, TCSANOW, &Raw) == 0 ? 0 : errno;
    }

    // The code of a failed call, kept with its number and text for LastError.
    int Fail(int SystemError, int IoCode = ecDeviceReadError) {
        TDeviceError Error = DeviceError(SystemError, FPath, IoCode);
        const int Code = Error.Code;
        std::lock_guard Lock(FErrorLock);
        FLastError = std::move(Error);
        return Code;
    }

    int SetLine(int Bit, bool Raised) {
        if (::ioctl(FFd, Raised ? TIOCMBIS : TIOCMBIC, &Bit) == 0)
            return 0;
        // Pseudo-terminals have no modem lines; the request is moot there.
        return errno == ENOTTY || errno == EINVAL ? 0 : Fail(errno);
    }

    void Wake() {
        uint64_t One = 1;
        if (FWake >= 0) [[maybe_unused]]
            auto Ignored = ::write(FWake, &One, sizeof One);
    }

    bool ReadCounts(serial_icounter_struct& Counts) {
        return FHasCounts && (FHasCounts = ::ioctl(FFd, TIOCGICOUNT, &Counts) == 0);
    }

    // Error bits whose kernel counters moved since Last; Last becomes the current counters.
    uint16_t ErrorsSince(serial_icounter_struct& Last) {
        serial_icounter_struct Now{};
        if (!ReadCounts(Now))
            return 0;
        uint16_t Bits = (Now.buf_overrun != Last.buf_overrun ? leOverflow : 0) |
                        (Now.overrun != Last.overrun ? leOverrun : 0) |
                        (Now.parity != Last.parity ? leParity : 0) |
                        (Now.frame != Last.frame ? leFraming : 0) |
                        (Now.brk != Last.brk ? leBreak : 0);
        Last = Now;
        return Bits;
    }

    uint32_t LineEvents(uint32_t Mask) {
        uint32_t Events = 0;
        uint16_t Errors;
        {
            std::lock_guard Lock(FErrLock);
            Errors = ErrorsSince(FWaitCounts);
        }
        if (Errors & leBreak)
            Events |= evBreak;
        if (Errors & ~leBreak)
            Events |= evErr;
        uint8_t Lines = ModemStatus();
        uint8_t Changed = Lines ^ FLastLines;
        FLastLines = Lines;
        Events |= ((Changed & msCTS) ? evCTS : 0) | ((Changed & msDSR) ? evDSR : 0) |
                  ((Changed & msDCD) ? evRLSD : 0) | ((Changed & msRing) ? evRing : 0);
        return Events & Mask;
    }

    std::string FPath; // window thread, at open
    int FFd = -1;
    int FWake = -1;
    termios FSaved{};
    TDeviceSettings FBlock;
    std::atomic<bool> FOpen{false};
    std::atomic<uint32_t> FMask{0};
    std::atomic<bool> FReadSinceReport{true};
    int FReported = 0;      // receive-event thread only
    uint8_t FLastLines = 0; // receive-event thread only
    std::mutex FErrLock;    // guards the two counter snapshots and FHasCounts
    bool FHasCounts = true;
    serial_icounter_struct FErrCounts{};
    serial_icounter_struct FWaitCounts{};
    mutable std::mutex FErrorLock; // guards FLastError
    TDeviceError FLastError;
};

} // namespace

// The system's numbers that mean something to the port get its codes; the rest keep the number
// and the system's text.
TDeviceError DeviceError(int SystemError, const std::string& Path, int IoCode) {
    int Code;
    switch (SystemError) {
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
    case ENOTTY: // a path that leads to something other than a serial port
        Code = ecBadId;
        break;
    case EBUSY:       // another program's exclusive mode
    case EWOULDBLOCK: // another program's lock
        Code = ecAlreadyOpen;
        break;
    case EACCES:
    case EPERM:
        return {ecAccessDenied, SystemError, AccessDeniedText(Path)};
    case EIO:
        Code = IoCode;
        break;
    case ENOMEM:
        Code = ecOutOfMemory;
        break;
    default:
        Code = SystemErrorCode(SystemError);
        break;
    }
    return {Code, SystemError, ErrorText(static_cast<unsigned>(-Code))};
}

std::shared_ptr<TComDevice> CreateLocalDevice() {
    return std::make_shared<TPosixDevice>();
}

// Only the lock is taken, for the moment of the look: no exclusive mode, no line settings.
TDeviceError ProbeLocalDevice(const std::string& Path) {
    const int Fd = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int Error = Fd < 0 ? errno : TakePort(Fd);
    if (Fd >= 0)
        ::close(Fd); // and with it the lock
    return Error == 0 ? TDeviceError{} : DeviceError(Error, Path, ecDeviceReadError);
}

} // namespace serial
