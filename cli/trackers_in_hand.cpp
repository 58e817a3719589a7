#include "cli/trackers_in_hand.h"

namespace ostrel::cli {

int TrackersInHand::Take(Tracker tracker) {
    std::lock_guard lock(mutex_);
    trackers_.emplace(++next_, std::move(tracker));
    return next_;
}

bool TrackersInHand::Release(int id) {
    std::lock_guard lock(mutex_);
    const auto found = trackers_.find(id);
    if (found == trackers_.end()) return false;
    found->second.reporting = true;
    return true;
}

void TrackersInHand::Reported(int id) {
    std::lock_guard lock(mutex_);
    trackers_.erase(id);
    reported_.notify_all();
}

std::vector<TrackersInHand::Tracker> TrackersInHand::ReleaseAll() {
    std::lock_guard lock(mutex_);
    std::vector<Tracker> all;
    for (auto it = trackers_.begin(); it != trackers_.end();) {
        if (it->second.reporting) {
            ++it;
            continue;
        }
        all.push_back(std::move(it->second));
        it = trackers_.erase(it);
    }
    return all;
}

void TrackersInHand::AwaitReports() {
    std::unique_lock lock(mutex_);
    reported_.wait(lock, [this] { return trackers_.empty(); });
}

}  // namespace ostrel::cli
