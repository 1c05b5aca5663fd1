#pragma once
// A step of a test run in a child process, so that what the step sets for itself (another user, a
// memory limit) leaves the test alone.

#include <cerrno>
#include <exception>
#include <functional>
#include <string>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace trace_test {

// Runs `step` in a child process and gives the text it returned, or the exception it threw; a
// child that ended otherwise gives how ("exit 3", "signal 9").
inline std::string InChild(const std::function<std::string()>& step) {
    int pipe[2];
    if (::pipe(pipe) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        std::string said;
        try {
            said = step();
        } catch (const std::exception& e) {
            said = std::string("exception: ") + e.what();
        }
        const bool written =
            ::write(pipe[1], said.data(), said.size()) == static_cast<ssize_t>(said.size());
        ::_exit(written ? 0 : 3);
    }
    ::close(pipe[1]);
    std::string said;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipe[0], buffer, sizeof buffer)) != 0;) {
        if (got > 0)
            said.append(buffer, static_cast<std::size_t>(got));
        else if (errno != EINTR)
            break;
    }
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status))
        return "signal " + std::to_string(WTERMSIG(status));
    if (WEXITSTATUS(status) != 0)
        return "exit " + std::to_string(WEXITSTATUS(status));
    return said;
}

// The user a test's file operations run as in the child: nobody when the tests run as root, who
// may write any file whatever its mode.
inline constexpr uid_t OrdinaryUser = 65534;

// Takes on the ordinary user, when running as root, for the rest of the child's life.
inline bool BecomeOrdinaryUser() {
    return ::geteuid() != 0 || (::setgroups(0, nullptr) == 0 &&
                                ::setresgid(OrdinaryUser, OrdinaryUser, OrdinaryUser) == 0 &&
                                ::setresuid(OrdinaryUser, OrdinaryUser, OrdinaryUser) == 0);
}

} // namespace trace_test
