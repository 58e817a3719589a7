#include "cli/trackers_in_hand.h"

namespace ostrel::cli {

int TrackersInHand::Take(Tracker tracker) {
    std::lock_guard lock(mutex_);
    trackers_.emplace(++next_, std::move(tracker));
    return next_;
}

bool TrackersInHand::Release(int id) {
    std::lock_guard lock(mutex_);
    return trackers_.erase(id) == 1;
}

std::vector<TrackersInHand::Tracker> TrackersInHand::ReleaseAll() {
    std::lock_guard lock(mutex_);
    std::vector<Tracker> all;
    for (auto& [id, tracker] : trackers_) all.push_back(std::move(tracker));
    trackers_.clear();
    return all;
}

}  // namespace ostrel::cli
