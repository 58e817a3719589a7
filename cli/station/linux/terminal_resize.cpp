// The terminal's size on Linux: SIGWINCH, taken through a signalfd by a thread of its own, which
// calls back outside any signal handler. The signal stays blocked in the thread that follows it
// and in every thread started after; no handler runs, so none lands on a bay's thread in the
// middle of an errno check, and none waits on a sanitizer's deferral.
#include "cli/station/terminal_resize.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <thread>

namespace ostrel::cli {

struct TerminalResizes::Follower {
    int signals = -1;  // SIGWINCH as it comes
    int ending = -1;   // an eventfd: the follower is to end
    sigset_t previous{};
    std::thread thread;
};

TerminalResizes::TerminalResizes(std::function<void()> resized)
    : follower_(std::make_unique<Follower>()) {
    sigset_t resize;
    sigemptyset(&resize);
    sigaddset(&resize, SIGWINCH);
    pthread_sigmask(SIG_BLOCK, &resize, &follower_->previous);
    follower_->signals = signalfd(-1, &resize, SFD_CLOEXEC | SFD_NONBLOCK);
    follower_->ending = eventfd(0, EFD_CLOEXEC);
    if (follower_->signals < 0 || follower_->ending < 0) return;
    follower_->thread = std::thread([follower = follower_.get(), resized = std::move(resized)] {
        for (;;) {
            pollfd watched[2] = {{follower->signals, POLLIN, 0}, {follower->ending, POLLIN, 0}};
            if (poll(watched, 2, -1) < 0 && errno != EINTR) return;
            if (watched[1].revents != 0) return;
            signalfd_siginfo taken;
            bool any = false;
            while (read(follower->signals, &taken, sizeof taken) == sizeof taken) any = true;
            if (any) resized();
        }
    });
}

TerminalResizes::~TerminalResizes() {
    if (follower_->thread.joinable()) {
        const std::uint64_t end = 1;
        (void)!write(follower_->ending, &end, sizeof end);
        follower_->thread.join();
    }
    if (follower_->signals >= 0) close(follower_->signals);
    if (follower_->ending >= 0) close(follower_->ending);
    // A resize still pending is dropped as the signal's default action drops it.
    pthread_sigmask(SIG_SETMASK, &follower_->previous, nullptr);
}

}  // namespace ostrel::cli
