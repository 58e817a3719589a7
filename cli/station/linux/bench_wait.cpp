#include "cli/station/bench_wait.h"

#include <poll.h>

#include <cerrno>

namespace ostrel::cli {

bool BenchWait::DeliverNotices(int milliseconds) {
    pollfd watched[2] = {{source_.NotificationDescriptor(), POLLIN, 0},
                         {static_cast<int>(wake_.NativeHandle()), POLLIN, 0}};
    if (poll(watched, 2, milliseconds) < 0 && errno != EINTR) return false;
    if (watched[1].revents & POLLIN) wake_.Drain();
    if (watched[0].revents & POLLIN) source_.ReadNotifications();
    return true;
}

}  // namespace ostrel::cli
