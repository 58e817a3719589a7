// The terminal's size on Linux: SIGWINCH. The handler only writes a byte to a pipe; a thread of
// its own waits on the pipe and calls back, so that the display is drawn outside the handler.
#include "cli/system/terminal_resize.h"

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

std::atomic<int> resizeEnd{-1};  // the pipe's write end while a follower is installed
static_assert(std::atomic<int>::is_always_lock_free);

void OnResize(int) {
    // The handler lands on any thread: a bay's thread may be about to read errno.
    const int savedErrno = errno;
    const int fd = resizeEnd.load();
    if (fd >= 0) (void)!write(fd, "r", 1);
    errno = savedErrno;
}

}  // namespace

struct TerminalResizes::Follower {
    int readEnd = -1;
    int writeEnd = -1;
    std::atomic<bool> ending{false};
    struct sigaction previous {};
    std::thread thread;
};

TerminalResizes::TerminalResizes(std::function<void()> resized)
    : follower_(std::make_unique<Follower>()) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    follower_->readEnd = ends[0];
    follower_->writeEnd = ends[1];
    resizeEnd.store(ends[1]);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnResize;
    sigemptyset(&action.sa_mask);
    // A resize is no reason to cut short what another thread is doing (a write to the
    // terminal, a wait for the tracker): the calls it interrupts start again.
    action.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &action, &follower_->previous);
    follower_->thread = std::thread([follower = follower_.get(), resized = std::move(resized)] {
        for (;;) {
            pollfd watched{follower->readEnd, POLLIN, 0};
            if (poll(&watched, 1, -1) < 0 && errno != EINTR) return;
            char bytes[64];
            while (read(follower->readEnd, bytes, sizeof bytes) > 0) {
            }
            if (follower->ending.load()) return;
            resized();
        }
    });
}

TerminalResizes::~TerminalResizes() {
    if (follower_->writeEnd < 0) return;
    sigaction(SIGWINCH, &follower_->previous, nullptr);
    resizeEnd.store(-1);
    follower_->ending.store(true);
    (void)!write(follower_->writeEnd, "e", 1);
    follower_->thread.join();
    close(follower_->readEnd);
    close(follower_->writeEnd);
}

}  // namespace ostrel::cli
