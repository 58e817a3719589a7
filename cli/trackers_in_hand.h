#pragma once
// The trackers a run has in hand, so that a run ended at once still gives each its result line
// and journal row: whichever comes first, the tracker's own end or the run's, reports it.
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace ostrel::cli {

class TrackersInHand {
  public:
    struct Tracker {
        std::string port;  // empty until known
        std::string bay;
        std::string serial;
        std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
    };

    int Take(Tracker tracker);
    // The tracker's run has ended: true when it is the one to report it.
    bool Release(int id);
    // The run ends at once: every tracker in hand, each reported by the caller.
    std::vector<Tracker> ReleaseAll();

  private:
    std::mutex mutex_;
    std::map<int, Tracker> trackers_;
    int next_ = 0;
};

}  // namespace ostrel::cli
