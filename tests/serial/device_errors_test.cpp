// What the operator reads when a system call of the device layer fails: each system error number
// the layer can meet, mapped and raised by the port's check.

#include "serial/device.h"
#include "serial/errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

#include <grp.h>
#include <unistd.h>

using namespace serial;

namespace {

template <class T> std::function<bool(const std::exception&)> Is() {
    return [](const std::exception& E) { return dynamic_cast<const T*>(&E) != nullptr; };
}

struct TErrnoCase {
    const char* Name;
    int Errno;
    int IoCode; // what the failing call was: ecDeviceReadError or ecDeviceWriteError
    int Code;
    std::function<bool(const std::exception&)> IsClass;
    int Number; // the input/output error's number; 0 for another class
    const char* What;
};

class SystemErrors : public ::testing::TestWithParam<TErrnoCase> {};

TEST_P(SystemErrors, AreRaisedWithTheirCodeOrTheSystemsOwnNumberAndText) {
    const auto& C = GetParam();
    const TDeviceError Error = DeviceError(C.Errno, "/dev/ttyS4", C.IoCode);
    EXPECT_EQ(Error.Code, C.Code);
    EXPECT_EQ(Error.SystemError, C.Errno);
    try {
        CheckException(false, Error.Code, Error.Text);
        FAIL() << "nothing raised";
    } catch (const std::exception& E) {
        EXPECT_TRUE(C.IsClass(E)) << typeid(E).name();
        EXPECT_STREQ(E.what(), C.What);
        if (const auto* InOut = dynamic_cast<const EInOutError*>(&E)) {
            EXPECT_EQ(InOut->ErrorCode(), C.Number);
        }
    }
}

constexpr const char* BadId = "ie_BadId - Specified comport doesn't exist";
constexpr const char* AlreadyOpen = "ie_Open - device already open";
constexpr int Read = ecDeviceReadError;

INSTANTIATE_TEST_SUITE_P(
    Errno, SystemErrors,
    ::testing::Values(
        TErrnoCase{"NoSuchFile", ENOENT, Read, ecBadId, Is<EBadId>(), 0, BadId},
        TErrnoCase{"NoDeviceBehindTheNode", ENXIO, Read, ecBadId, Is<EBadId>(), 0, BadId},
        TErrnoCase{"NoSuchDevice", ENODEV, Read, ecBadId, Is<EBadId>(), 0, BadId},
        TErrnoCase{"NotATerminal", ENOTTY, Read, ecBadId, Is<EBadId>(), 0, BadId},
        TErrnoCase{"PathThroughAFile", ENOTDIR, Read, ecBadId, Is<EBadId>(), 0, BadId},
        TErrnoCase{"HeldExclusively", EBUSY, Read, ecAlreadyOpen, Is<EAlreadyOpen>(), 0,
                   AlreadyOpen},
        TErrnoCase{"LockedByAnother", EWOULDBLOCK, Read, ecAlreadyOpen, Is<EAlreadyOpen>(), 0,
                   AlreadyOpen},
        TErrnoCase{"ReadFailed", EIO, Read, ecDeviceReadError, Is<EInOutError>(), 161,
                   "Device read error"},
        TErrnoCase{"WriteFailed", EIO, ecDeviceWriteError, ecDeviceWriteError, Is<EInOutError>(),
                   160, "Device write error"},
        TErrnoCase{"OutOfMemory", ENOMEM, Read, ecOutOfMemory, Is<EOutOfMemory>(), 0,
                   "Insufficient memory"},
        TErrnoCase{"Interrupted", EINTR, Read, SystemErrorCode(EINTR), Is<EInOutError>(), EINTR,
                   "Interrupted system call"},
        TErrnoCase{"NotExecutable", ENOEXEC, Read, SystemErrorCode(ENOEXEC), Is<EInOutError>(),
                   ENOEXEC, "Exec format error"},
        TErrnoCase{"InvalidArgument", EINVAL, Read, SystemErrorCode(EINVAL), Is<EInOutError>(),
                   EINVAL, "Invalid argument"},
        TErrnoCase{"TooManyOpenFiles", EMFILE, Read, SystemErrorCode(EMFILE), Is<EInOutError>(),
                   EMFILE, "Too many open files"},
        TErrnoCase{"BadDescriptor", EBADF, ecDeviceWriteError, SystemErrorCode(EBADF),
                   Is<EInOutError>(), EBADF, "Bad file descriptor"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// The two lines of a refused access: what and where, then how to get access.
struct TAccessText {
    std::string First, Second;
};

TAccessText AccessText(int Errno, const std::string& Path) {
    const TDeviceError Error = DeviceError(Errno, Path, ecDeviceReadError);
    EXPECT_EQ(Error.Code, ecAccessDenied);
    std::string What;
    try {
        CheckException(false, Error.Code, Error.Text);
        ADD_FAILURE() << "nothing raised";
    } catch (const EInOutError& E) {
        EXPECT_EQ(E.ErrorCode(), 5);
        What = E.what();
    }
    const auto Break = What.find('\n');
    if (Break == std::string::npos) {
        ADD_FAILURE() << "not two lines: " << What;
        return {What, {}};
    }
    return {What.substr(0, Break), What.substr(Break + 1)};
}

// A temporary file whose group is one the user may join: as root, a group other than root's.
class OwnedFile {
public:
    OwnedFile() {
        char Name[] = "/tmp/talvir-tty-XXXXXX";
        const int Fd = ::mkstemp(Name);
        ::close(Fd);
        FPath = Name;
        gid_t Gid = ::getegid();
        if (Gid == 0)
            for (const char* Candidate : {"dialout", "users", "daemon"})
                if (const group* G = ::getgrnam(Candidate)) {
                    Gid = G->gr_gid;
                    break;
                }
        if (Gid != 0 && ::chown(Name, static_cast<uid_t>(-1), Gid) == 0)
            if (const group* G = ::getgrgid(Gid))
                FGroup = G->gr_name;
    }
    ~OwnedFile() { ::unlink(FPath.c_str()); }
    const std::string& Path() const { return FPath; }
    const std::string& Group() const { return FGroup; }

private:
    std::string FPath;
    std::string FGroup;
};

class RefusedAccess : public ::testing::TestWithParam<int> {};

TEST_P(RefusedAccess, NamesTheDeviceAndTheGroupThatOwnsIt) {
    const OwnedFile File;
    if (File.Group().empty())
        GTEST_SKIP() << "no group other than root's to give the file";
    const auto Text = AccessText(GetParam(), File.Path());
    EXPECT_EQ(Text.First, "File access denied: " + File.Path());
    EXPECT_NE(Text.Second.find("group " + File.Group()), std::string::npos) << Text.Second;
    EXPECT_NE(Text.Second.find("usermod -aG " + File.Group() + " $USER"), std::string::npos)
        << Text.Second;
}

TEST_P(RefusedAccess, OfADeviceOnlyRootMayUseSendsToTheAdministrator) {
    const auto Text = AccessText(GetParam(), "/dev/null"); // root's group owns it
    EXPECT_EQ(Text.First, "File access denied: /dev/null");
    EXPECT_NE(Text.Second.find("administrator"), std::string::npos) << Text.Second;
    EXPECT_EQ(Text.Second.find("usermod"), std::string::npos)
        << "joining root's group is no advice";
}

TEST_P(RefusedAccess, WithoutADeviceToLookAtNamesDebiansGroup) {
    const auto Text = AccessText(GetParam(), "/dev/talvir-unreadable/ttyUSB0");
    EXPECT_EQ(Text.First, "File access denied: /dev/talvir-unreadable/ttyUSB0");
    EXPECT_NE(Text.Second.find("usermod -aG dialout $USER"), std::string::npos) << Text.Second;
}

INSTANTIATE_TEST_SUITE_P(Errno, RefusedAccess, ::testing::Values(EACCES, EPERM),
                         [](const auto& Info) {
                             return Info.param == EACCES ? "EACCES" : "EPERM";
                         });

TEST(SystemErrors, CodesOfSystemNumbersLieOutsideEveryOtherRange) {
    for (int Number : {1, 2, 5, 8, 161, 4095}) {
        const int Code = SystemErrorCode(Number);
        EXPECT_TRUE(IsSystemErrorCode(Code));
        EXPECT_LT(Code, -5003) << "below the trigger codes";
        EXPECT_LT(-Code, 65536) << "a lost device's code travels in 16 bits";
    }
    EXPECT_FALSE(IsSystemErrorCode(-2001));
    EXPECT_FALSE(IsSystemErrorCode(-5));
}

} // namespace
