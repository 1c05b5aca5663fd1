// talvir-record as a script runs it: against the real simulator on a pseudo-terminal, its files
// read back sample for sample, each failure with its own status and one line.

#include "acquisition/timing.h"
#include "files/file_io.h"
#include "record/options.h"
#include "serial/serial_port.h"
#include "support/pty_pair.h"
#include "support/real_locale.h"
#include "support/recording_support.h"
#include "support/simulator_process.h"
#include "support/small_tmpfs.h"
#include "trace/data_file.h"
#include "trace/vcd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using devsim_test::SimulatorProcess;

constexpr std::int32_t ShortestSweep = 103; // 1 ms at the shortest period

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// "time_ms,level" lines after the header line.
std::pair<std::vector<double>, std::vector<double>> ParseCsv(const std::string& text) {
    std::pair<std::vector<double>, std::vector<double>> points;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "time_ms,level");
    while (std::getline(lines, line)) {
        const std::size_t comma = line.find(',');
        points.first.push_back(std::stod(line.substr(0, comma)));
        points.second.push_back(std::stod(line.substr(comma + 1)));
    }
    return points;
}

// The program started with `args`; its standard error goes to a file.
class TRecorderProcess {
public:
    // `runAs`: a program and its arguments that run the recorder, such as setpriv.
    TRecorderProcess(const std::vector<std::string>& args, const std::string& errPath,
                     const std::vector<std::string>& runAs = {}) {
        std::vector<std::string> all = runAs;
        all.push_back(TALVIR_RECORD_PROGRAM);
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~TRecorderProcess() {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    void Signal(int signal) const { kill(pid_, signal); }
    pid_t Pid() const { return pid_; }
    // The exit status, or none when the program did not end within `limit`.
    std::optional<int> Wait(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!status_ && std::chrono::steady_clock::now() < deadline) {
            int raw = 0;
            if (waitpid(pid_, &raw, WNOHANG) == pid_)
                status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            else
                std::this_thread::sleep_for(10ms);
        }
        return status_;
    }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// The resident set of a running process in kB, from /proc; 0 when it cannot be read.
long ResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:"))
            return std::stol(line.substr(6));
    return 0;
}

// The samples of a .csv or a .vcd the program wrote, as levels.
std::vector<double> LevelsOf(const std::string& path) {
    const std::string text = ReadText(path);
    if (path.ends_with(".csv"))
        return ParseCsv(text).second;
    const trace::TVcdHeaderRead header = trace::ReadVcdVariables(text);
    EXPECT_EQ(header.Variables.size(), 1u);
    if (header.Variables.empty())
        return {};
    const trace::TVcdSignalRead read = trace::ReadVcdSignal(text, header.Variables[0].Code, 1 << 30);
    EXPECT_FALSE(read.Error);
    return trace::VcdToTrace(read.Signal, 1 << 30).Levels;
}

// How many of `levels` differ from the simulator's sequence for `seed`.
std::size_t PrbsMismatches(const std::vector<double>& levels, std::uint32_t seed) {
    recording_test::TPrbs prbs(seed);
    std::size_t wrong = 0;
    for (std::size_t j = 0; j < levels.size(); ++j)
        wrong += levels[j] != prbs[j];
    return wrong;
}

class RecordProgram : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/talvir-record-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    struct TRun {
        std::optional<int> Status;
        std::string Err;
    };
    TRun Run(const std::vector<std::string>& args, const std::vector<std::string>& runAs = {}) {
        TRecorderProcess recorder(args, Path("err.txt"), runAs);
        TRun run;
        run.Status = recorder.Wait(20s);
        run.Err = ReadText(Path("err.txt"));
        return run;
    }

    serial::test::TPortsIni ini_; // a private port map, whatever the user's holds
    std::string dir_;
};

TEST_F(RecordProgram, PeriodicPrbsSweepsReachEachFileSampleForSample) {
    SimulatorProcess simulator({"--source", "prbs:20261207"});
    const long double period = acquisition::ConfirmedPeriod(0.0097656L);
    for (const std::string name : {"trace.txt", "trace.vcd", "trace.csv"}) {
        SCOPED_TRACE(name);
        const TRun run =
            Run({"--port", simulator.SlavePath(), "--sweeps", "10", "--out", Path(name)});
        ASSERT_EQ(run.Status, 0) << run.Err;
        EXPECT_NE(run.Err.find("talvir-record: 10 of 10 sweeps\n"), std::string::npos) << run.Err;

        // The sequence restarts with every command, and periodic sweeps leave no sample out.
        recording_test::TPrbs prbs(20261207);
        std::vector<double> levels;
        std::vector<double> times;
        const std::string text = ReadText(Path(name));
        if (name.ends_with(".txt")) {
            trace::TDataFileContents contents = trace::ParseDataFile(text);
            levels = contents.Levels;
            times = contents.Times;
        } else if (name.ends_with(".csv")) {
            std::tie(times, levels) = ParseCsv(text);
        } else {
            const trace::TVcdHeaderRead header = trace::ReadVcdVariables(text);
            ASSERT_EQ(header.Variables.size(), 1u);
            const trace::TVcdSignalRead read =
                trace::ReadVcdSignal(text, header.Variables[0].Code, 1000000);
            ASSERT_FALSE(read.Error);
            const trace::TVcdTrace vcd = trace::VcdToTrace(read.Signal, 1000000);
            levels = vcd.Levels;
            times = vcd.Times;
        }
        ASSERT_EQ(levels.size(), 10u * ShortestSweep);
        std::size_t wrong = 0;
        for (std::size_t j = 0; j < levels.size(); ++j) {
            wrong += levels[j] != prbs[j];
            EXPECT_NEAR(times[j], static_cast<double>(j * period), 1e-9) << j;
        }
        EXPECT_EQ(wrong, 0u);
    }
}

// The data file takes the user's decimal separator where the reader takes it back, and a point
// where no byte holds it (U+066B).
TEST_F(RecordProgram, DataFileSeparatorFollowsTheUsersLocale) {
    SimulatorProcess simulator({"--source", "prbs:20261207"});
    for (const auto& [locale, separator] :
         {std::pair{QLocale(QLocale::Russian, QLocale::Russia), ','},
          std::pair{QLocale(QLocale::Pashto, QLocale::Afghanistan), '.'}}) {
        SCOPED_TRACE(locale.name().toStdString());
        // Compiled into the LOCPATH that the program inherits, and named in its environment.
        const test_support::TRealLocale real(locale);
        const char* const before = std::getenv("LC_ALL");
        const std::string previous = before ? before : "";
        setenv("LC_ALL", (locale.name() + QStringLiteral(".UTF-8")).toLatin1().constData(), 1);
        const TRun run = Run({"--port", simulator.SlavePath(), "--out", Path("trace.txt")});
        if (before)
            setenv("LC_ALL", previous.c_str(), 1);
        else
            unsetenv("LC_ALL");
        ASSERT_EQ(run.Status, 0) << run.Err;
        const std::string text = ReadText(Path("trace.txt"));
        EXPECT_NE(text.find(std::string("\r\n0") + separator + "0097656 "), std::string::npos)
            << text.substr(0, 40);
        const trace::TDataFileContents read = trace::ParseDataFile(text);
        EXPECT_FALSE(read.BadToken);
        EXPECT_EQ(read.Times.size(), static_cast<std::size_t>(ShortestSweep));
    }
}

TEST_F(RecordProgram, EachSingleSweepStartsAtItsOwnChangeOfLevel) {
    // 1 kHz, a quarter high: high runs of 25.6 samples and low runs of 76.8.
    SimulatorProcess simulator({"--source", "square:1000:0.25"});
    const TRun run = Run({"--port", simulator.SlavePath(), "--mode", "single", "--sweeps", "3",
                          "--duration", "0.002", "--out", Path("single.csv"), "--quiet"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "") << "--quiet";
    const auto [times, levels] = ParseCsv(ReadText(Path("single.csv")));
    const auto n = static_cast<std::size_t>(
        acquisition::SweepLength(0.002L, acquisition::ConfirmedPeriod(0.0097656L)));
    ASSERT_EQ(levels.size(), 3 * n);
    for (std::size_t sweep = 0; sweep < 3; ++sweep) {
        const double first = levels[sweep * n];
        std::size_t run_length = 1;
        while (levels[sweep * n + run_length] == first)
            ++run_length;
        // A whole pulse: the sweep began on its edge, not inside it.
        const double expected = first == 1.0 ? 25.6 : 76.8;
        EXPECT_NEAR(static_cast<double>(run_length), expected, 1.0) << "sweep " << sweep;
    }
}

TEST_F(RecordProgram, FailuresEndWithTheirOwnStatusAndOneLine) {
    struct TCase {
        std::vector<std::string> Simulator; // empty: no simulator, a missing port
        std::vector<std::string> Args;
        int Status;
        std::string Line;
    };
    const std::vector<TCase> cases{
        {{},
         {"--port", "/dev/talvir-no-such-port"},
         3,
         "cannot open /dev/talvir-no-such-port: there is no serial port at "
         "/dev/talvir-no-such-port; plug the device in, or check the path\n"},
        {{},
         {"--port", "COM49"},
         3,
         "cannot open COM49: there is no serial port at /dev/ttyS48, where COM49 leads; plug the "
         "device in, map COM49 to its device in "},
        {{"--source", "prbs:5"}, {"--baud", "12345"}, 2, "a serial line takes 50, 75, "},
        {{"--fault", "no-prompt"}, {}, 6, "did not answer with its prompt"},
        {{"--fault", "no-echo"}, {}, 7, "did not echo the command"},
        {{"--fault", "hangup:3000"}, {"--sweeps", "1000"}, 9, "the device was lost"},
        {{"--fault", "stall:2500:2000"}, {"--sweeps", "1000"}, 10, "did not complete in time"},
        {{}, {"--port", "COM1", "--out", Path("x.bmp")}, 2, "the file's extension"},
        {{}, {"--port", "COM1", "--duration", "5"}, 2, "--duration: between 0.001 and"},
        {{"--source", "prbs:5"},
         {"--out", "/nonexistent-talvir-folder/x.txt"},
         11,
         "cannot write /nonexistent-talvir-folder/x.txt"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Line);
        std::optional<SimulatorProcess> simulator;
        std::vector<std::string> args = c.Args;
        if (!c.Simulator.empty()) {
            simulator.emplace(c.Simulator);
            args.insert(args.end(), {"--port", simulator->SlavePath()});
        }
        std::remove(Path("out.txt").c_str());
        if (std::find(args.begin(), args.end(), "--out") == args.end())
            args.insert(args.end(), {"--out", Path("out.txt")});
        const TRun run = Run(args);
        EXPECT_EQ(run.Status, c.Status) << run.Err;
        EXPECT_NE(run.Err.find(c.Line), std::string::npos) << run.Err;
        EXPECT_EQ(run.Err.find("ie_"), std::string::npos) << "the port component's text";
        const bool sweepsDone = c.Status == 9 || c.Status == 10;
        // What was completed before a failure is written; nothing is before the first sweep.
        EXPECT_EQ(access(Path("out.txt").c_str(), F_OK) == 0, sweepsDone);
    }
}

TEST_F(RecordProgram, APortHeldByAnotherProgramIsReportedAsHeld) {
    SimulatorProcess simulator({});
    serial::TPlainMessageLoop loop;
    serial::TSerialPort holder(&loop);
    holder.SetDevicePath(simulator.SlavePath());
    holder.SetOpen(true);
    const TRun run = Run({"--port", simulator.SlavePath(), "--out", Path("held.txt")});
    EXPECT_EQ(run.Status, 4) << run.Err;
    EXPECT_EQ(run.Err, "talvir-record: cannot open " + simulator.SlavePath() +
                           ": another program holds the port; close it, then try again\n");
}

TEST_F(RecordProgram, AUserWithoutAccessToThePortIsToldSo) {
    SimulatorProcess simulator({});
    // The superuser may open anything: the recorder then runs as nobody, in a folder it may write.
    std::vector<std::string> runAs;
    if (geteuid() == 0) {
        runAs = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);
    } else
        ASSERT_EQ(chmod(simulator.SlavePath().c_str(), 0), 0);
    const TRun run = Run({"--port", simulator.SlavePath(), "--out", Path("denied.txt")}, runAs);
    EXPECT_EQ(run.Status, 5) << run.Err;
    EXPECT_NE(run.Err.find("File access denied: " + simulator.SlavePath() + ". "),
              std::string::npos)
        << run.Err;
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << "one line: " << run.Err;
}

TEST_F(RecordProgram, AnInterruptStopsTheDeviceAndWritesTheSweepsCompleted) {
    // A constant line: the single sweep waits for a change that never comes.
    std::ofstream(Path("low.txt")) << "0 0\n";
    SimulatorProcess waiting({"--source", "file:" + Path("low.txt"), "--log", Path("sim.log")});
    TRecorderProcess recorder(
        {"--port", waiting.SlavePath(), "--mode", "single", "--out", Path("never.txt")},
        Path("err.txt"));
    std::this_thread::sleep_for(1500ms);
    EXPECT_FALSE(recorder.Wait(0ms)) << "a single sweep waits without a limit";
    recorder.Signal(SIGINT);
    EXPECT_EQ(recorder.Wait(5s), 12);
    EXPECT_NE(ReadText(Path("err.txt")).find("interrupted after 0 of 1 sweeps"), std::string::npos);
    EXPECT_NE(access(Path("never.txt").c_str(), F_OK), 0);
    EXPECT_TRUE(recording_test::StreamedAtStop(Path("sim.log"))) << "the device was stopped";
}

// A file that could not be created is found before the device is woken: one line, nothing
// recorded, nothing left behind.
TEST_F(RecordProgram, AnOutputThatCannotBeCreatedEndsTheRunBeforeTheRecording) {
    std::ofstream(Path("plain.txt")) << "a file, not a folder\n";
    const std::string closed = Path("closed");
    mkdir(closed.c_str(), 0755);
    // The superuser writes any folder; only a read-only mount refuses it a new file.
    std::optional<test_support::TMount> mount;
    if (geteuid() == 0)
        mount.emplace(closed, MS_RDONLY);
    const bool readOnly = mount ? mount->Mounted() : chmod(closed.c_str(), 0555) == 0;
    const std::vector<std::pair<std::string, std::string>> cases{
        {Path("nodir/x.vcd"), "there is no folder " + Path("nodir")},
        {Path("plain.txt/x.vcd"), "there is no folder " + Path("plain.txt")},
        {closed + "/x.vcd", "File access denied"},
    };
    for (const auto& [out, why] : cases) {
        SCOPED_TRACE(out);
        if (out.starts_with(closed) && !readOnly)
            continue;
        SimulatorProcess simulator({"--source", "prbs:5", "--log", Path("sim.log")});
        const TRun run = Run({"--port", simulator.SlavePath(), "--sweeps", "3", "--out", out});
        EXPECT_EQ(run.Status, 11);
        EXPECT_EQ(run.Err, "talvir-record: cannot write " + out + ": " + why +
                               "; nothing was recorded (choose another --out)\n");
        simulator.Signal(SIGTERM);
        simulator.WaitExit(5s);
        EXPECT_EQ(recording_test::ReceivedBytes(Path("sim.log")), "") << "the device was woken";
    }
    EXPECT_TRUE(std::filesystem::is_empty(closed));
}

// A disk that fills while the file is written: the failure in one line after the recording,
// and the file that was there keeps its content.
TEST_F(RecordProgram, AFullDiskEndsInOneLineAndLeavesTheFileAsItWas) {
    const std::string folder = Path("full");
    mkdir(folder.c_str(), 0755);
    const test_support::TMount mount(folder, 0);
    if (!mount.Mounted())
        GTEST_SKIP() << "no tmpfs may be mounted here";
    const std::string out = folder + "/trace.csv";
    const std::string old = "time_ms,level\n0,1\n";
    std::ofstream(out) << old;
    {
        std::ofstream filler(folder + "/filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (filler.write(block.data(), block.size()))
            filler.flush();
    }
    SimulatorProcess simulator({"--source", "prbs:5"});
    const TRun run = Run({"--port", simulator.SlavePath(), "--sweeps", "10", "--out", out});
    EXPECT_EQ(run.Status, 11) << run.Err;
    EXPECT_NE(run.Err.find("10 of 10 sweeps\n"), std::string::npos) << run.Err;
    const std::string last =
        "talvir-record: cannot write " + out + ": Disk is full; the file is left as it was\n";
    EXPECT_TRUE(run.Err.ends_with(last)) << run.Err;
    EXPECT_EQ(ReadText(out), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              2)
        << "a temporary file left behind";
}

// Without a limit the recording would go on for ever: a write that fails on the way ends it.
TEST_F(RecordProgram, AFullDiskMidwayEndsTheRecordingThereAndLeavesTheFileAsItWas) {
    const std::string folder = Path("full");
    mkdir(folder.c_str(), 0755);
    const test_support::TMount mount(folder, 0);
    if (!mount.Mounted())
        GTEST_SKIP() << "no tmpfs may be mounted here";
    const std::string out = folder + "/trace.csv";
    std::ofstream(out) << "time_ms,level\n0,1\n";
    {
        std::ofstream filler(folder + "/filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (filler.write(block.data(), block.size()))
            filler.flush();
    }
    SimulatorProcess simulator({"--source", "prbs:5"});
    const TRun run = Run({"--port", simulator.SlavePath(), "--baud", "230400", "--seconds", "0",
                          "--out", out});
    EXPECT_EQ(run.Status, 11) << run.Err;
    EXPECT_TRUE(run.Err.ends_with("talvir-record: cannot write " + out +
                                  ": Disk is full; the file is left as it was\n"))
        << run.Err;
    EXPECT_EQ(ReadText(out), "time_ms,level\n0,1\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              2)
        << "a temporary file left behind";
}

TEST_F(RecordProgram, APeriodOffTheDevicesGridIsToldAndTheNearestOneRecorded) {
    SimulatorProcess simulator({"--source", "prbs:5"});
    const TRun run = Run({"--port", simulator.SlavePath(), "--period", "0.01", "--baud", "230400",
                          "--out", Path("grid.csv")});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "talvir-record: --period 0.01 ms is not on the device's grid of (6n + 12) "
                       "/ 11059200 s; recording at 0.0097656 ms\n"
                       "talvir-record: 1 of 1 sweeps\n");
    const auto [times, levels] = ParseCsv(ReadText(Path("grid.csv")));
    ASSERT_EQ(times.size(), static_cast<std::size_t>(ShortestSweep));
    EXPECT_NEAR(times.back(), (ShortestSweep - 1) * 0.0097656, 1e-9);
}

// The simulator, like the device's line, sends no faster than the line's rate: the notice comes
// before the first sweep, and the last line counts the bytes against what the device sent.
TEST_F(RecordProgram, ALineSlowerThanTheDeviceIsToldBeforeAndCountedAfter) {
    SimulatorProcess simulator({"--source", "prbs:5"});
    const TRun run =
        Run({"--port", simulator.SlavePath(), "--sweeps", "1500", "--out", Path("slow.vcd")});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const std::size_t notice = run.Err.find(
        "talvir-record: at 0.0097656 ms the device sends 12800 bytes/s, more than the line "
        "carries at 115200 baud (11520 bytes/s): samples will be missing; take --period 0.0108507 "
        "or longer, or --baud 230400\n");
    EXPECT_LT(notice, run.Err.find("talvir-record: 1 of 1500 sweeps")) << run.Err;
    std::smatch counts;
    ASSERT_TRUE(std::regex_search(
        run.Err, counts,
        std::regex("\ntalvir-record: received (\\d+) sample bytes of (\\d+) expected at the "
                   "device's rate in [0-9.]+ s, (\\d+) missing\n$")))
        << run.Err;
    const double received = std::stod(counts[1]);
    const double expected = std::stod(counts[2]);
    EXPECT_GE(received, 1500.0 * ShortestSweep / 8);
    // The line carries 9 bytes of the device's 10; a busy machine reads them later still.
    EXPECT_LT(received / expected, 0.95);
    EXPECT_GT(received / expected, 0.5);
    EXPECT_GT(std::stoll(counts[3]), 0);
}

// The man page's and the user guide's sigrok examples read the file the program writes at the
// shortest period with one sample per sample period.
TEST_F(RecordProgram, TheDocumentedSigrokFactorIsTheOneTheFileNames) {
    SimulatorProcess simulator({"--source", "prbs:5"});
    ASSERT_EQ(
        Run({"--port", simulator.SlavePath(), "--sweeps", "10", "--out", Path("trace.vcd")}).Status,
        0);
    const std::regex factor("vcd:downsample=(\\d+)");
    std::smatch inFile;
    const std::string vcd = ReadText(Path("trace.vcd"));
    ASSERT_TRUE(std::regex_search(vcd, inFile, factor));
    for (const char* doc : {TALVIR_RECORD_MAN_PAGE, TALVIR_USER_GUIDE}) {
        SCOPED_TRACE(doc);
        std::smatch documented;
        const std::string text = ReadText(doc);
        ASSERT_TRUE(std::regex_search(text, documented, factor));
        EXPECT_EQ(documented[1], inFile[1]);
    }
}

// --seconds counts samples, not sweeps: 50.1 ms at the shortest period are 5130 samples, 49 whole
// sweeps of 103 and the first 83 of the next, each the simulator's sample; 5130 ends inside a
// byte.
TEST_F(RecordProgram, SecondsAreCountedInSamplesAcrossSweeps) {
    SimulatorProcess simulator({"--source", "prbs:77"});
    for (const std::string name : {"timed.csv", "timed.vcd"}) {
        SCOPED_TRACE(name);
        const TRun run = Run({"--port", simulator.SlavePath(), "--baud", "230400", "--seconds",
                              "0.0501", "--out", Path(name)});
        ASSERT_EQ(run.Status, 0) << run.Err;
        const std::vector<double> levels = LevelsOf(Path(name));
        EXPECT_EQ(levels.size(), 5130u);
        EXPECT_EQ(PrbsMismatches(levels, 77), 0u);
        if (name.ends_with(".vcd")) {
            EXPECT_NE(ReadText(Path(name)).find("50 periodic sweeps of 0.001 s, 5130 samples"),
                      std::string::npos);
        }
    }
}

// A signal finishes the file with every sample received: the end asked for without a limit, an
// interruption within one.
TEST_F(RecordProgram, ASignalFinishesTheFileWithEverySampleReceived) {
    struct TCase {
        std::string Seconds;
        int Signal;
        int Status;
        std::string Told;
    };
    for (const TCase& c : {TCase{"0", SIGINT, 0, ""},
                           TCase{"60", SIGTERM, 12, "talvir-record: interrupted after "}}) {
        SCOPED_TRACE(c.Seconds);
        SimulatorProcess simulator({"--source", "prbs:91"});
        const std::string out = Path("stopped" + c.Seconds + ".csv");
        TRecorderProcess recorder({"--port", simulator.SlavePath(), "--baud", "230400",
                                   "--seconds", c.Seconds, "--out", out},
                                  Path("err.txt"));
        std::this_thread::sleep_for(1500ms);
        EXPECT_FALSE(recorder.Wait(0ms));
        recorder.Signal(c.Signal);
        EXPECT_EQ(recorder.Wait(5s), c.Status);
        const std::string err = ReadText(Path("err.txt"));
        const std::vector<double> levels = LevelsOf(out);
        // Half a second is the least a loaded machine records in 1.5 s.
        EXPECT_GT(levels.size(), 51200u);
        EXPECT_EQ(PrbsMismatches(levels, 91), 0u);
        if (c.Told.empty()) {
            EXPECT_EQ(err.find("interrupted"), std::string::npos) << err;
        } else {
            const double seconds = static_cast<double>(levels.size()) *
                                   static_cast<double>(acquisition::ConfirmedPeriod(0.0097656L)) /
                                   1000;
            char told[64];
            std::snprintf(told, sizeof told, "%.3f of 60 s\n", seconds);
            EXPECT_NE(err.find(c.Told + told), std::string::npos) << err;
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_),
                                std::filesystem::directory_iterator()),
                  2)
            << "only the file and the standard error";
        std::filesystem::remove(out);
    }
}

// Each format's file is written as the samples come, and the program's memory does not grow with
// the length: 15 s of the shortest period, 1.5 million samples, add less than 2 MB to the resident
// set. The three record at once, each from its own simulator.
TEST_F(RecordProgram, MemoryStaysFlatWhileTheFileGrows) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's own bookkeeping grows the resident set";
#endif
    struct TRecorder {
        std::string Name;
        std::unique_ptr<SimulatorProcess> Simulator;
        std::unique_ptr<TRecorderProcess> Recorder;
        long Early = 0, Late = 0;
    };
    std::vector<TRecorder> recorders;
    for (const std::string name : {"long.vcd", "long.csv", "long.txt"}) {
        mkdir(Path(name + ".d").c_str(), 0755);
        TRecorder r{name, std::make_unique<SimulatorProcess>(
                              std::vector<std::string>{"--source", "prbs:3"}),
                    nullptr};
        r.Recorder = std::make_unique<TRecorderProcess>(
            std::vector<std::string>{"--port", r.Simulator->SlavePath(), "--baud", "230400",
                                     "--seconds", "20", "--out", Path(name + ".d/" + name)},
            Path(name + ".err"));
        recorders.push_back(std::move(r));
    }
    std::this_thread::sleep_for(5s);
    for (TRecorder& r : recorders) {
        r.Early = ResidentKb(r.Recorder->Pid());
        // Before the end only the temporary file is there, and a .txt's or a .csv's grows.
        const std::string folder = Path(r.Name + ".d");
        std::uintmax_t beside = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            EXPECT_TRUE(entry.path().filename().string().starts_with(".talvir-")) << entry.path();
            beside += entry.file_size();
        }
        if (!r.Name.ends_with(".vcd")) {
            EXPECT_GT(beside, 1u << 20) << r.Name << ": written as the samples come";
        }
    }
    std::this_thread::sleep_for(12s);
    for (TRecorder& r : recorders)
        r.Late = ResidentKb(r.Recorder->Pid());
    for (TRecorder& r : recorders) {
        SCOPED_TRACE(r.Name);
        EXPECT_EQ(r.Recorder->Wait(30s), 0) << ReadText(Path(r.Name + ".err"));
        ASSERT_GT(r.Early, 0);
        ASSERT_GT(r.Late, 0) << "the recording ended before its time";
        EXPECT_LT(r.Late - r.Early, 2048) << "kB from " << r.Early;
        const std::string err = ReadText(Path(r.Name + ".err"));
        const bool told = err.find("holds 2048005 points, but the window loads only the first "
                                   "500000 points of a data file") != std::string::npos;
        EXPECT_EQ(told, r.Name.ends_with(".txt")) << err;
    }
    const std::string csv = ReadText(Path("long.csv.d/long.csv"));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 2048006) << "20 s and the header";
}

// --baud takes the rates the serial stack sets on a line, and a line refuses one it does not.
TEST_F(RecordProgram, EveryRateTheCommandLineTakesALineIsSetTo) {
    serial::test::TPty pty;
    serial::TPlainMessageLoop loop;
    serial::TSerialPort port(&loop);
    port.SetDevicePath(pty.SlavePath());
    for (const std::int32_t rate : record::LineRates()) {
        SCOPED_TRACE(rate);
        port.SetBaud(rate);
        EXPECT_NO_THROW(port.SetOpen(true));
        port.SetOpen(false);
    }
    port.SetBaud(12345);
    EXPECT_ANY_THROW(port.SetOpen(true));
}

} // namespace
