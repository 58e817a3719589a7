// Interruption requests on Linux: SIGINT, SIGTERM and SIGHUP.
#include "cli/system/interruption.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

namespace ostrel::cli {
namespace {

int stopExitCode = 1;  // set once, before the handlers are installed

// The write ends of the pipes that wake the run's waits; -1 when free.
constexpr int kWakeSlots = 8;
std::atomic<int> wakeEnds[kWakeSlots] = {-1, -1, -1, -1, -1, -1, -1, -1};
// A LastWords is waiting to be said before the run ends at once.
std::atomic<bool> lastWordsHeld{false};
constexpr unsigned kLastWordsSeconds = 2;
static_assert(std::atomic<int>::is_always_lock_free);

constexpr char kStoppedAtOnce[] =
    "\nostrel-flash: stopped at once, perhaps inside an exchange: re-power the tracker and run "
    "it again\n";

void OnStopSignal(int) {
    // The handler lands on any thread: a bay's thread may be about to read errno.
    const int savedErrno = errno;
    const int requests = CountInterruptionRequest();
    if (RequestEndsAtOnce(requests)) {
        // The first request that ends the run leaves the last words to their thread, for at
        // most a few seconds.
        if (!lastWordsHeld.load() || RequestEndsAtOnce(requests - 1)) EndAtOnce();
        alarm(kLastWordsSeconds);
    }
    for (const std::atomic<int>& end : wakeEnds) {
        const int fd = end.load();
        if (fd >= 0) (void)!write(fd, "x", 1);
    }
    errno = savedErrno;
}

void OnLastWordsTimeOut(int) {
    EndAtOnce();
}

}  // namespace

struct LastWordsThread {
    StopWake wake;
    std::atomic<bool> ending{false};
    std::jthread thread;
};

LastWords::LastWords(std::function<void()> words)
    : words_(std::move(words)), thread_(std::make_unique<LastWordsThread>()) {
    thread_->thread = std::jthread([this] {
        for (;;) {
            thread_->wake.Wait(-1);
            if (thread_->ending.load()) return;
            if (EndAtOnceRequested()) {
                words_();
                EndAtOnce();
            }
        }
    });
    lastWordsHeld.store(true);
}

LastWords::~LastWords() {
    lastWordsHeld.store(false);
    thread_->ending.store(true);
    thread_->wake.Poke();
    thread_->thread.join();
}

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
    signal(SIGALRM, OnLastWordsTimeOut);
    signal(SIGPIPE, SIG_IGN);
    // A file grown to the size limit (ulimit -f) fails its write instead of ending the process
    // with trackers in hand: the journal's failure then stops the station as a full disk does.
    signal(SIGXFSZ, SIG_IGN);
}

StopWake::StopWake() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    handle_ = ends[0];
    pokeEnd_ = ends[1];
    for (std::atomic<int>& slot : wakeEnds) {
        int free = -1;
        if (slot.compare_exchange_strong(free, ends[1])) break;
    }
}

StopWake::~StopWake() {
    for (std::atomic<int>& slot : wakeEnds) {
        int mine = static_cast<int>(pokeEnd_);
        slot.compare_exchange_strong(mine, -1);
    }
    if (handle_ >= 0) close(static_cast<int>(handle_));
    if (pokeEnd_ >= 0) close(static_cast<int>(pokeEnd_));
}

bool StopWake::Wait(int milliseconds) {
    pollfd watched{static_cast<int>(handle_), POLLIN, 0};
    const bool woken = poll(&watched, 1, milliseconds) > 0;
    Drain();
    return woken;
}

void StopWake::Poke() {
    if (pokeEnd_ >= 0) (void)!write(static_cast<int>(pokeEnd_), "x", 1);
}

void StopWake::Drain() {
    char bytes[64];
    while (handle_ >= 0 && read(static_cast<int>(handle_), bytes, sizeof bytes) > 0) {
    }
}

}  // namespace ostrel::cli
