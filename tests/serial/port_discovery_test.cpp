// Finding ports: USB adapters registered in ports.ini from a /dev and /sys laid out in a temporary
// folder, presence without an open, what the port dialog says about a device, and ports of other
// programs left as they were.

#include "support/pty_pair.h"

#include "serial/errors.h"
#include "serial/port_discovery.h"
#include "serial/port_map.h"
#include "serial/ports_ini.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace serial {
namespace {

namespace fs = std::filesystem;
using testing::Contains;
using testing::HasSubstr;
using testing::Not;

class PortDiscovery : public testing::Test {
protected:
    PortDiscovery() {
        char Template[] = "/tmp/talvir-discovery-XXXXXX";
        Root = ::mkdtemp(Template);
        Roots = {Root + "/sys", Root + "/dev"};
        fs::create_directories(Roots.Dev);
    }
    ~PortDiscovery() override { fs::remove_all(Root); }

    // An adapter appears: its tty, and its link under serial/by-id.
    std::string Plug(const std::string& Name, const std::string& Tty) {
        std::ofstream(Roots.Dev + "/" + Tty);
        fs::create_directories(Roots.Dev + "/serial/by-id");
        const std::string Link = Roots.Dev + "/serial/by-id/" + Name;
        fs::create_symlink("../../" + Tty, Link);
        return Link;
    }
    void Unplug(const std::string& Link) {
        fs::remove(fs::read_symlink(Link).is_absolute()
                       ? fs::read_symlink(Link)
                       : fs::path(Link).parent_path() / fs::read_symlink(Link));
        fs::remove(Link);
    }
    static std::string IniText() { return ReadPortsIni(PortsIniPath()).value_or("(none)"); }

    test::TPortsIni Ini;
    std::string Root;
    TDiscoveryRoots Roots;
};

using TAdded = std::vector<std::pair<uint16_t, std::string>>;

// COM1's UART is fitted (a pseudo-terminal plays it), COM2's is not (a file that is no tty), the
// user has COM3, and COM4 has no device at all.
TEST_F(PortDiscovery, AdaptersTakeTheLowestFreeNumbersAndKeepThem) {
    test::TPty Uart;
    fs::create_symlink(Uart.SlavePath(), Roots.Dev + "/ttyS0");
    std::ofstream(Roots.Dev + "/ttyS1");
    Ini.Map(3, Roots.Dev + "/ttyUSB7");
    const std::string User = IniText();

    EXPECT_EQ(RegisterAdapters(Roots).Added, TAdded{}) << "no adapter, no write";
    EXPECT_EQ(IniText(), User);

    const std::string A = Plug("usb-FTDI_FT232R_A50285BI-if00-port0", "ttyUSB0");
    const std::string B = Plug("usb-Prolific_PL2303-if00-port0", "ttyUSB1");
    // The user's COM3 already reaches this one by its kernel name.
    Plug("usb-Silabs_CP2102_0001-if00-port0", "ttyUSB7");
    const TRegistration First = RegisterAdapters(Roots);
    EXPECT_EQ(First.Error, "");
    EXPECT_EQ(First.Added, (TAdded{{2, A}, {4, B}}));
    const std::string Mark = AdapterEntryMark;
    EXPECT_EQ(IniText(), User + Mark + "\nCOM2=" + A + "\n" + Mark + "\nCOM4=" + B + "\n");
    EXPECT_EQ(PortDevicePath(2), A);

    // Unplugged, replugged, and a newcomer meanwhile: the numbers stay.
    Unplug(A);
    EXPECT_EQ(RegisterAdapters(Roots).Added, TAdded{});
    const std::string C = Plug("usb-WCH_CH340-if00-port0", "ttyUSB2");
    EXPECT_EQ(RegisterAdapters(Roots).Added, (TAdded{{5, C}}));
    Plug("usb-FTDI_FT232R_A50285BI-if00-port0", "ttyUSB0");
    const std::string Before = IniText();
    EXPECT_EQ(RegisterAdapters(Roots).Added, TAdded{});
    EXPECT_EQ(IniText(), Before);
    EXPECT_EQ(PortDevicePath(2), A);
    EXPECT_EQ(PortDevicePath(3), Roots.Dev + "/ttyUSB7");
}

TEST_F(PortDiscovery, OnAMachineWithoutSerialPortsTheFirstAdapterIsCom1) {
    const std::string A = Plug("usb-FTDI_FT232R_A50285BI-if00-port0", "ttyUSB0");
    EXPECT_EQ(RegisterAdapters(Roots).Added, (TAdded{{1, A}}));
    EXPECT_EQ(PortDevicePath(1), A);
}

// talvir-devsim edits ports.ini under the same lock: a registration waits for it.
TEST_F(PortDiscovery, RegistrationWaitsForAnotherWritersLock) {
    const std::string A = Plug("usb-FTDI_FT232R_A50285BI-if00-port0", "ttyUSB0");
    std::optional<TPortsIniLock> Other(std::in_place, PortsIniPath());
    TRegistration Result;
    std::thread Registering([&] { Result = RegisterAdapters(Roots); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(fs::exists(PortsIniPath())) << "written while another writer held the lock";
    Other.reset();
    Registering.join();
    EXPECT_EQ(Result.Added, (TAdded{{1, A}}));
}

// /sys as the kernel lays it out: a tty's device lies below the USB device that carries the
// vendor and product; a UART's below a platform device.
TEST_F(PortDiscovery, DescriptionNamesTheUsbAdapterAndNothingForAUart) {
    const fs::path Usb = Roots.Sys + "/devices/pci0000:00/0000:00:14.0/usb1/1-2";
    fs::create_directories(Usb / "1-2:1.0/ttyUSB0");
    for (const auto& [Name, Value] : {std::pair{"idVendor", "0403"},
                                      {"idProduct", "6001"},
                                      {"manufacturer", "FTDI"},
                                      {"product", "FT232R USB UART"},
                                      {"serial", "A50285BI"}})
        std::ofstream(Usb / Name) << Value << "\n";
    fs::create_directories(Roots.Sys + "/devices/platform/serial8250");
    for (const auto& [Tty, Device] :
         {std::pair{"ttyUSB0", Usb / "1-2:1.0/ttyUSB0"},
          {"ttyS0", fs::path(Roots.Sys + "/devices/platform/serial8250")}}) {
        fs::create_directories(Roots.Sys + "/class/tty/" + Tty);
        fs::create_symlink(Device, Roots.Sys + "/class/tty/" + Tty + "/device");
    }
    const std::string A = Plug("usb-FTDI_FT232R_A50285BI-if00-port0", "ttyUSB0");
    Ini.Map(2, A);
    Ini.Map(3, Roots.Dev + "/ttyS0");
    std::ofstream(Roots.Dev + "/ttyS0");

    EXPECT_THAT(DescribePort(2, Roots), HasSubstr(A + " -> " + Roots.Dev +
                                                  "/ttyUSB0 | USB 0403:6001 FTDI FT232R USB "
                                                  "UART, serial A50285BI"));
    EXPECT_THAT(DescribePort(3, Roots), Not(HasSubstr("USB")));
}

// A port the user may not open is there: it is listed, and its description says why a start
// would fail. Root opens anything, so then a child process gives up root first.
TEST_F(PortDiscovery, PortWithoutPermissionIsPresentAndSaysWhy) {
    test::TPty Line;
    ASSERT_EQ(::chmod(Line.SlavePath().c_str(), 0600), 0);
    Ini.Map(4, Line.SlavePath());
    const auto Check = []() noexcept {
        try {
            if (!PortPresent(4))
                return 1;
            return DescribePort(4).find("File access denied") == std::string::npos ? 2 : 0;
        } catch (...) {
            return 3;
        }
    };
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(Line.SlavePath().c_str(), 0), 0);
        EXPECT_EQ(Check(), 0);
        return;
    }
    // The child must still read the temporary ports.ini.
    const fs::path Folder = fs::path(PortsIniPath()).parent_path();
    for (const fs::path& Path : {Folder.parent_path(), Folder, fs::path(PortsIniPath())})
        fs::permissions(Path, fs::perms::others_read | fs::perms::others_exec,
                        fs::perm_options::add);
    const pid_t Child = ::fork();
    if (Child == 0)
        ::_exit(::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0
                    ? 77
                    : Check());
    int Status = 0;
    ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
    ASSERT_TRUE(WIFEXITED(Status));
    if (WEXITSTATUS(Status) == 77)
        GTEST_SKIP() << "cannot give up root here";
    EXPECT_EQ(WEXITSTATUS(Status), 0)
        << "1: not listed, 2: the reason is not shown, 3: ports.ini unreadable";
}

// Another program holding a port: a process of its own that opens the device and takes its lock,
// or puts it in exclusive mode, until the holder goes.
class TOtherProgram {
public:
    TOtherProgram(const std::string& Path, bool Exclusive) {
        int Ready[2], Release[2];
        if (::pipe2(Ready, O_CLOEXEC) != 0 || ::pipe2(Release, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe2 failed");
        FChild = ::fork();
        if (FChild == 0) {
            const int Fd = ::open(Path.c_str(), O_RDWR | O_NOCTTY);
            char Held = Fd >= 0 &&
                        (Exclusive ? ::ioctl(Fd, TIOCEXCL) : ::flock(Fd, LOCK_EX | LOCK_NB)) == 0;
            ::close(Release[1]);
            if (::write(Ready[1], &Held, 1) == 1)
                while (::read(Release[0], &Held, 1) > 0) {
                }
            ::_exit(0);
        }
        ::close(Ready[1]);
        ::close(Release[0]);
        FRelease = Release[1];
        char Held = 0;
        FHolding = ::read(Ready[0], &Held, 1) == 1 && Held;
        ::close(Ready[0]);
    }
    ~TOtherProgram() {
        ::close(FRelease);
        ::waitpid(FChild, nullptr, 0);
    }
    bool Holding() const { return FHolding; }

private:
    pid_t FChild = -1;
    int FRelease = -1;
    bool FHolding = false;
};

// What another program could find changed on a tty: its exclusive mode and its line settings.
std::string TtyState(int Fd) {
    int Exclusive = -1;
    termios T{};
    ::ioctl(Fd, TIOCGEXCL, &Exclusive);
    ::tcgetattr(Fd, &T);
    std::string State = "exclusive " + std::to_string(Exclusive) + ", flags " +
                        std::to_string(T.c_iflag) + " " + std::to_string(T.c_oflag) + " " +
                        std::to_string(T.c_cflag) + " " + std::to_string(T.c_lflag) + ", speed " +
                        std::to_string(::cfgetispeed(&T)) + ", characters";
    for (const cc_t C : T.c_cc)
        State += " " + std::to_string(C);
    return State;
}

// Whether an ordinary user opens Path for reading and writing (nobody when the test runs as
// root): 1 it does, 0 it is refused, -1 there is no ordinary user to be had here.
int OrdinaryUserOpens(const std::string& Path) {
    std::vector<std::string> Args;
    if (::geteuid() == 0)
        Args = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    for (const char* Arg : {"sh", "-c", "true 2>/dev/null <>\"$0\" || exit 3", Path.c_str()})
        Args.emplace_back(Arg);
    std::vector<char*> Argv;
    for (std::string& Arg : Args)
        Argv.push_back(Arg.data());
    Argv.push_back(nullptr);
    pid_t Child = -1;
    int Status = 0;
    if (::posix_spawnp(&Child, Argv[0], nullptr, nullptr, Argv.data(), environ) != 0 ||
        ::waitpid(Child, &Status, 0) != Child || !WIFEXITED(Status))
        return -1;
    return WEXITSTATUS(Status) == 0 ? 1 : WEXITSTATUS(Status) == 3 ? 0 : -1;
}

struct THold {
    const char* Name;
    bool Exclusive;
};

// A look at COM7, which leads to the port at Path, and what it must tell.
struct TLook {
    const char* Name;
    void (*Take)(const std::string& Path);
};

constexpr TLook Looks[] = {
    {"PortList", [](const std::string&) { EXPECT_THAT(PresentPorts(), Contains(7)); }},
    {"Description",
     [](const std::string&) {
         EXPECT_THAT(DescribePort(7), HasSubstr("| held by another program"));
     }},
    {"OpenAsAPort",
     [](const std::string& Path) { EXPECT_EQ(CreateLocalDevice()->Open(Path), ecAlreadyOpen); }},
};

void PrintTo(const THold& Hold, std::ostream* Out) {
    *Out << Hold.Name;
}
void PrintTo(const TLook& Look, std::ostream* Out) {
    *Out << Look.Name;
}

class PortOfAnotherProgram : public testing::TestWithParam<std::tuple<THold, TLook>> {};

// A port that another program holds is listed, described and refused as held, and left as that
// program set it: in exclusive mode only if it put it there, its line settings as they were, and
// open to an ordinary user if it only took the lock.
TEST_P(PortOfAnotherProgram, IsHeldAndLeftAsItWas) {
    const auto& [Hold, Look] = GetParam();
    test::TPortsIni Ini;
    test::TPty Line;
    Ini.Map(7, Line.SlavePath());
    ASSERT_EQ(::chmod(Line.SlavePath().c_str(), 0666), 0);
    termios Odd{};
    ::tcgetattr(Line.Slave(), &Odd);
    ::cfsetspeed(&Odd, B1200);
    Odd.c_cc[VMIN] = 5;
    Odd.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(::tcsetattr(Line.Slave(), TCSANOW, &Odd), 0);
    const TOtherProgram Other(Line.SlavePath(), Hold.Exclusive);
    ASSERT_TRUE(Other.Holding());
    const std::string Before = TtyState(Line.Slave());
    ASSERT_THAT(Before, HasSubstr(Hold.Exclusive ? "exclusive 1" : "exclusive 0"));

    Look.Take(Line.SlavePath());
    EXPECT_EQ(TtyState(Line.Slave()), Before);
    const int Opens = OrdinaryUserOpens(Line.SlavePath());
    if (Opens < 0)
        GTEST_SKIP() << "no ordinary user to open the port as";
    EXPECT_EQ(Opens, Hold.Exclusive ? 0 : 1) << "1: an ordinary user opens the port";
}

INSTANTIATE_TEST_SUITE_P(HoldsAndLooks, PortOfAnotherProgram,
                         testing::Combine(testing::Values(THold{"Lock", false},
                                                          THold{"ExclusiveMode", true}),
                                          testing::ValuesIn(Looks)),
                         [](const auto& Info) {
                             return std::string(std::get<0>(Info.param).Name) + "_" +
                                    std::get<1>(Info.param).Name;
                         });

} // namespace
} // namespace serial
