#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <sys/signalfd.h>

#include "devsim/event_log.h"
#include "devsim/options.h"
#include "devsim/ports_ini.h"
#include "devsim/pty.h"
#include "devsim/recording_maker.h"
#include "devsim/simulator.h"
#include "devsim/sources.h"

namespace {

int UsageFailure(const char* message) {
    std::fprintf(stderr, "talvir-devsim: %s\nTry 'talvir-devsim --help'.\n", message);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    using namespace devsim;
    Options options;
    try {
        options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
    if (options.help) {
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("talvir-devsim %s\n", TALVIR_VERSION);
        return 0;
    }

    if (options.recording) {
        try {
            const auto now = std::chrono::system_clock::now().time_since_epoch();
            MakeRecording(SignalFactory(options.source), *options.recording,
                          std::chrono::duration_cast<std::chrono::microseconds>(now).count(),
                          std::string("talvir-devsim ") + TALVIR_VERSION);
            return 0;
        } catch (const UsageError& e) {
            return UsageFailure(e.what());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "talvir-devsim: %s\n", e.what());
            return 1;
        }
    }

    // Termination signals become readable events of the loop, so it ends normally and the
    // ports.ini entry is restored on SIGTERM as well.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stopSignals, s);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (signalFd < 0) {
        std::perror("talvir-devsim: signalfd");
        return 1;
    }
    std::signal(SIGPIPE, SIG_IGN);

    try {
        const SignalFactory signals(options.source);
        EventLog log(options.logPath);
        PseudoTerminal line;
        std::optional<PortRegistration> registration;
        if (options.comNumber)
            registration.emplace(PortsIniPath(), *options.comNumber, line.SlavePath());

        // A starting script reads this line; the registration is in place by then.
        std::printf("%s\n", line.SlavePath().c_str());
        std::fflush(stdout);
        log.Event("slave " + line.SlavePath() + ", source " + options.source.text +
                  (options.comNumber ? ", COM" + std::to_string(*options.comNumber) : ""));

        Simulator simulator(options, line, log, signals);
        simulator.Run(signalFd);
        int status = 0;
        if (registration) {
            std::string message;
            if (!registration->Restore(message))
                status = 1;
            if (!message.empty()) {
                std::fprintf(stderr, "talvir-devsim: %s\n", message.c_str());
                log.Event(message);
            }
        }
        return status;
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "talvir-devsim: %s\n", e.what());
        return 1;
    }
}
