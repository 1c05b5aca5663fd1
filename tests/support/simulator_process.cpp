#include "support/simulator_process.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <stdexcept>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace devsim_test {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

int RemainingMs(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& overrides) {
    std::map<std::string, std::string> merged;
    auto add = [&](const std::string& entry) {
        const auto eq = entry.find('=');
        merged[entry.substr(0, eq)] = entry;
    };
    for (char** e = environ; *e; ++e)
        add(*e);
    for (const auto& entry : overrides)
        add(entry);
    std::vector<std::string> out;
    for (auto& [name, entry] : merged)
        out.push_back(entry);
    return out;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Starts the simulator with stdout (and stderr, when asked) on pipes.
pid_t Spawn(std::vector<std::string> args, const std::vector<std::string>& environment, int& outFd,
            int* errFd) {
    int out[2], err[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || (errFd && pipe2(err, O_CLOEXEC) != 0))
        Fail("pipe2");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (errFd)
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    args.insert(args.begin(), TALVIR_DEVSIM_PROGRAM);
    auto argv = Pointers(args);
    auto envStrings = MergedEnvironment(environment);
    auto envp = Pointers(envStrings);
    pid_t pid = -1;
    const int rc =
        posix_spawn(&pid, TALVIR_DEVSIM_PROGRAM, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (errFd)
        close(err[1]);
    if (rc != 0) {
        errno = rc;
        Fail("posix_spawn");
    }
    outFd = out[0];
    if (errFd)
        *errFd = err[0];
    return pid;
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return text;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace

SimulatorProcess::SimulatorProcess(const std::vector<std::string>& args,
                                   const std::vector<std::string>& environment) {
    int outFd = -1;
    pid_ = Spawn(args, environment, outFd, nullptr);
    // The first line is the slave path; a simulator that fails to start closes the pipe.
    const auto end = Clock::now() + std::chrono::seconds(5);
    char c = 0;
    while (RemainingMs(end) > 0) {
        pollfd pfd{outFd, POLLIN, 0};
        if (poll(&pfd, 1, RemainingMs(end)) <= 0 || read(outFd, &c, 1) != 1 || c == '\n')
            break;
        slavePath_ += c;
    }
    close(outFd);
    if (c != '\n')
        throw std::runtime_error("the simulator printed no slave path");
}

SimulatorProcess::~SimulatorProcess() {
    if (!reaped_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

void SimulatorProcess::Signal(int signal) const {
    kill(pid_, signal);
}

std::optional<int> SimulatorProcess::WaitExit(milliseconds limit) {
    const auto end = Clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            reaped_ = true;
            return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
        }
        if (Clock::now() >= end)
            return std::nullopt;
        std::this_thread::sleep_for(milliseconds(5));
    }
}

Outcome RunSimulator(const std::vector<std::string>& args) {
    int outFd = -1, errFd = -1;
    const pid_t pid = Spawn(args, {}, outFd, &errFd);
    Outcome outcome;
    // Help and error texts are far smaller than a pipe's buffer, so reading one after the
    // other cannot block the child.
    outcome.out = ReadAll(outFd);
    outcome.err = ReadAll(errFd);
    close(outFd);
    close(errFd);
    int status = 0;
    waitpid(pid, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

LineClient::LineClient(const std::string& path, speed_t speed) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        Fail("open slave");
    SetSpeed(speed);
}

LineClient::~LineClient() {
    if (fd_ >= 0)
        close(fd_);
}

void LineClient::SetSpeed(speed_t speed) {
    termios settings{};
    if (tcgetattr(fd_, &settings) != 0)
        Fail("tcgetattr");
    cfmakeraw(&settings);
    cfsetspeed(&settings, speed);
    if (tcsetattr(fd_, TCSANOW, &settings) != 0)
        Fail("tcsetattr");
}

void LineClient::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd_, bytes.data(), bytes.size());
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n < 0)
            Fail("write slave");
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string LineClient::Read(std::size_t count, milliseconds limit) {
    std::string text;
    const auto end = Clock::now() + limit;
    char buffer[65536];
    while (text.size() < count && RemainingMs(end) > 0) {
        pollfd pfd{fd_, POLLIN, 0};
        if (poll(&pfd, 1, RemainingMs(end)) <= 0)
            continue;
        const ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - text.size()));
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

std::string LineClient::ReadFor(milliseconds span) {
    return Read(std::string::npos, span);
}

std::string LineClient::ReadUntilHangup(milliseconds limit, bool& hungUp) {
    std::string text;
    hungUp = false;
    const auto end = Clock::now() + limit;
    char buffer[65536];
    while (RemainingMs(end) > 0) {
        pollfd pfd{fd_, POLLIN, 0};
        if (poll(&pfd, 1, RemainingMs(end)) <= 0)
            continue;
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EAGAIN)
            continue;
        if (n <= 0) { // end of file or EIO: the master is gone
            hungUp = true;
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

} // namespace devsim_test
