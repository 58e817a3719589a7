// The bench's waits that are the same on every system; the one wait for a notice, a stop
// request or a wake is the platform's.
#include "cli/station/bench_wait.h"

#include <chrono>

namespace ostrel::cli {

bool BenchWait::For(PendingEvent event) {
    while (!StopRequested() && source_.PendingNotice() != event) {
        if (!DeliverNotices(-1)) return false;
    }
    return !StopRequested();
}

bool BenchWait::Pause(std::uint32_t milliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (auto now = Clock::now(); !StopRequested() && now < end; now = Clock::now()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
        if (!DeliverNotices(static_cast<int>(left))) return false;
    }
    return !StopRequested();
}

bool BenchWait::ForAnyNotice(int milliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!StopRequested() && source_.PendingNotice() == kNoDeviceEvent &&
           !woken_.exchange(false)) {
        int left = -1;
        if (milliseconds >= 0) {
            left = static_cast<int>(
                std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count());
            if (left <= 0) break;
        }
        if (!DeliverNotices(left)) return false;
    }
    return !StopRequested();
}

void BenchWait::Wake() {
    woken_.store(true);
    wake_.Poke();
}

}  // namespace ostrel::cli
