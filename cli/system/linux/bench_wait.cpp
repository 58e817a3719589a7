#include "cli/system/bench_wait.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "cli/system/interruption.h"

namespace ostrel::cli {
namespace {

// What the handler may touch: a flag and the write end of a pipe that wakes the wait.
volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t waiting = 0;  // between two trackers: none is in hand
int wakePipe[2] = {-1, -1};
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[3]{};

void OnStopSignal(int) {
    if (stopRequested) EndAtOnce();  // the second one: end now, as without the loop
    stopRequested = 1;
    constexpr char kInHand[] =
        "\nostrel-flash: stopping; a tracker being written is finished first\n";
    // While waiting, the loop itself says that it stopped with no tracker in hand.
    if (!waiting) (void)!write(STDERR_FILENO, kInHand, sizeof kInHand - 1);
    (void)!write(wakePipe[1], "x", 1);
}

}  // namespace

BenchWait::BenchWait(DeviceEventSource& source) : source_(source) {
    stopRequested = 0;
    if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe[0] = wakePipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i) sigaction(kStopSignals[i], &action, &previous[i]);
}

BenchWait::~BenchWait() {
    for (int i = 0; i < 3; ++i) sigaction(kStopSignals[i], &previous[i], nullptr);
    for (int& fd : wakePipe) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

bool BenchWait::StopRequested() const {
    return stopRequested != 0;
}

bool BenchWait::DeliverNotices(int milliseconds) {
    pollfd watched[2] = {{source_.NotificationDescriptor(), POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
    if (poll(watched, 2, milliseconds) < 0 && errno != EINTR) return false;
    if (watched[0].revents & POLLIN) source_.ReadNotifications();
    return true;
}

bool BenchWait::For(PendingEvent event) {
    waiting = 1;
    while (!stopRequested && source_.PendingNotice() != event && DeliverNotices(-1)) {
    }
    waiting = 0;
    return !stopRequested && source_.PendingNotice() == event;
}

}  // namespace ostrel::cli
