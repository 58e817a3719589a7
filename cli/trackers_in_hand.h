#pragma once
// The trackers a run has in hand, so that a run ended at once still gives each its result line
// and journal row: whichever comes first, the tracker's own end or the run's, reports it.
#include <chrono>
#include <condition_variable>
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
        bool reporting = false;  // its own end is being reported
    };

    int Take(Tracker tracker);
    // The tracker's run has ended: true when it is the one to report it, then Reported().
    bool Release(int id);
    void Reported(int id);
    // The run ends at once: every tracker in hand not yet being reported, for the caller to
    // report, then AwaitReports() for the others.
    std::vector<Tracker> ReleaseAll();
    void AwaitReports();

  private:
    std::mutex mutex_;
    std::condition_variable reported_;
    std::map<int, Tracker> trackers_;
    int next_ = 0;
};

}  // namespace ostrel::cli
