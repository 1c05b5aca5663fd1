// The program as a shell starts it: what it says and how it ends when it cannot open its window.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;

struct TOutcome {
    std::optional<int> Status; // none: still running after the limit, and killed
    std::string Err;
};

// talvir with `args`, in the test's environment without the variables `unset` and with `set`
// ("NAME=value") added.
TOutcome RunTalvir(const std::vector<std::string>& args, const std::vector<std::string>& unset,
                   const std::vector<std::string>& set) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        const std::string name = variable.substr(0, variable.find('='));
        bool dropped = false;
        for (const std::string& gone : unset)
            dropped = dropped || name == gone;
        for (const std::string& replaced : set)
            dropped = dropped || replaced.starts_with(name + "=");
        if (!dropped)
            environment.push_back(variable);
    }
    environment.insert(environment.end(), set.begin(), set.end());
    std::vector<std::string> all{TALVIR_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    char errPath[] = "/tmp/talvir-program-test-XXXXXX";
    const int errFd = mkstemp(errPath);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    TOutcome outcome;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!outcome.Status && std::chrono::steady_clock::now() < deadline) {
            int raw = 0;
            if (waitpid(pid, &raw, WNOHANG) == pid)
                outcome.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            else
                std::this_thread::sleep_for(20ms);
        }
        if (!outcome.Status) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    close(errFd);
    std::ifstream in(errPath);
    std::stringstream text;
    text << in.rdbuf();
    outcome.Err = text.str();
    unlink(errPath);
    return outcome;
}

struct TCase {
    std::vector<std::string> Args, Unset, Set;
    int Status;
    std::string Err; // what standard error starts with
    long Lines;      // and its number of lines
};

class TalvirProgram : public testing::TestWithParam<TCase> {};

// Each ends at once, with its own status and what a user can act on: a mistake with the way to
// the help, a display that cannot be reached in one line.
TEST_P(TalvirProgram, EndsWithItsStatusAndSaysWhy) {
    const TCase& c = GetParam();
    const TOutcome outcome = RunTalvir(c.Args, c.Unset, c.Set);
    EXPECT_EQ(outcome.Status, c.Status) << outcome.Err;
    EXPECT_TRUE(outcome.Err.starts_with(c.Err)) << outcome.Err;
    EXPECT_EQ(std::count(outcome.Err.begin(), outcome.Err.end(), '\n'), c.Lines) << outcome.Err;
}

INSTANTIATE_TEST_SUITE_P(
    Starts, TalvirProgram,
    testing::Values(TCase{{"--colour"},
                          {},
                          {"QT_QPA_PLATFORM=offscreen"},
                          2,
                          "talvir: unknown option '--colour'\nTry 'talvir --help'.\n",
                          2},
                    TCase{{"trace.txt"},
                          {},
                          {"QT_QPA_PLATFORM=offscreen"},
                          2,
                          "talvir: unexpected argument 'trace.txt'\nTry 'talvir --help'.\n",
                          2},
                    TCase{{},
                          {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"},
                          {},
                          1,
                          "talvir: cannot open the window: no display (DISPLAY is not set)\n",
                          1},
                    // A display named that no server answers: the reason in Qt's words.
                    TCase{{},
                          {"WAYLAND_DISPLAY"},
                          {"DISPLAY=:977", "QT_QPA_PLATFORM=xcb"},
                          1,
                          "talvir: cannot open the window: ",
                          1}));

} // namespace
