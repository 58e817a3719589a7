#include "cli/station/bench_stop.h"

namespace ostrel::cli {

std::string DescribeStop(StopAsked asked, int inHand, const std::string& work) {
    if (inHand == 0 || asked == StopAsked::Nothing) return "";
    const bool one = inHand == 1;
    const std::string them =
        one ? "the tracker in hand" : std::to_string(inHand) + " trackers in hand";
    if (asked == StopAsked::NoNewTracker) {
        return "stopping: no new tracker is taken; " + them +
               (one ? " finishes its " : " finish their ") + work + " (Ctrl-C again stops " +
               (one ? "it" : "them") + " at the next exchange)";
    }
    return "stopping " + them + " at the next exchange (Ctrl-C again ends at once, perhaps " +
           "inside an exchange)";
}

BenchStop::BenchStop(bool loop, const char* work, std::function<void(const std::string&)> say)
    : loop_(loop), work_(work), say_(std::move(say)) {
    LetTrackersInHandFinish(loop_);
    announcer_ = std::jthread([this] { Announce(); });
}

BenchStop::~BenchStop() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.Poke();
    announcer_.join();
}

bool BenchStop::Take() {
    std::lock_guard lock(mutex_);
    if (RequestedStop() != StopAsked::Nothing) return false;
    ++inHand_;
    return true;
}

void BenchStop::Done() {
    std::lock_guard lock(mutex_);
    --inHand_;
}

void BenchStop::Announce() {
    StopAsked announced = StopAsked::Nothing;
    for (;;) {
        wake_.Wait(-1);
        std::string line;
        {
            std::lock_guard lock(mutex_);
            if (ending_) return;
            const StopAsked asked = RequestedStop();
            if (asked == announced) continue;
            announced = asked;
            line = DescribeStop(asked, inHand_, work_);
        }
        if (!line.empty()) say_(line);
    }
}

}  // namespace ostrel::cli
