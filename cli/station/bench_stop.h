#pragma once
// The trackers a bench has in hand while a stop may be requested, and what it says when one is.
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "cli/system/interruption.h"

namespace ostrel::cli {

// The trackers in hand while a stop may be requested, and the line that says, when one is,
// what will happen to them; nothing is said with none in hand (the run says where it was
// waiting). A loop takes the first request as "no new tracker" (see interruption.h).
class BenchStop {
  public:
    // `say` prints one line of the run, from this object's thread; `work` is what the trackers
    // in hand are having done ("update").
    BenchStop(bool loop, const char* work, std::function<void(const std::string&)> say);
    ~BenchStop();
    BenchStop(const BenchStop&) = delete;
    BenchStop& operator=(const BenchStop&) = delete;

    // A new tracker is taken in hand, unless a stop was requested.
    bool Take();
    // A tracker's run ended.
    void Done();

  private:
    void Announce();

    bool loop_;
    const char* work_;
    std::function<void(const std::string&)> say_;
    std::mutex mutex_;
    int inHand_ = 0;
    bool ending_ = false;
    StopWake wake_;
    std::jthread announcer_;
};

// What a stop request asks of `inHand` trackers having their `work` done, in words; empty when
// none is in hand.
std::string DescribeStop(StopAsked asked, int inHand, const std::string& work);

}  // namespace ostrel::cli
