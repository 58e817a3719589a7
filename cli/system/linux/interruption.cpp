// Interruption requests on Linux: SIGINT, SIGTERM and SIGHUP.
#include "cli/system/interruption.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace ostrel::cli {
namespace {

int stopExitCode = 1;  // set once, before the handlers are installed

constexpr char kStoppedAtOnce[] =
    "\nostrel-flash: stopped at once, perhaps inside an exchange: re-power the tracker and run "
    "the update again\n";

void OnStopSignal(int) {
    if (CountInterruptionRequest() > 1) EndAtOnce();
}

}  // namespace

void EndAtOnce() {
    // Only async-signal-safe calls here. The kernel releases the port and its lock.
    (void)!write(STDERR_FILENO, kStoppedAtOnce, sizeof kStoppedAtOnce - 1);
    _exit(stopExitCode);
}

void InstallInterruptionHandlers(int exitCode) {
    stopExitCode = exitCode;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a wait in progress wakes, looks at its clock and goes on.
    for (int stop : {SIGINT, SIGTERM, SIGHUP}) {
        // A hang-up that the caller ignores (nohup) stays ignored: the update is meant to go on.
        struct sigaction found;
        if (stop == SIGHUP && sigaction(stop, nullptr, &found) == 0 &&
            found.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(stop, &action, nullptr);
    }
    signal(SIGPIPE, SIG_IGN);
}

}  // namespace ostrel::cli
