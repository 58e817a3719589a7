#pragma once
// The one rule of every bench run (--repeat, --all, --repeat --all): what it counts, the
// summary it ends with, its exit code, and what it says when a stop is requested.
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "cli/report/result_line.h"
#include "cli/system/interruption.h"

namespace ostrel::cli {

// The trackers a bench handled. The exit code follows one port's: 4 when a stop ended a
// tracker, else 1 when one failed, else 5 when one holds another release (--verify-only),
// else 7 when a trace is incomplete, else 0.
class BenchTally {
  public:
    explicit BenchTally(bool verifyOnly) : verifyOnly_(verifyOnly) {}

    void Count(const RunResult& result);
    // "summary updated=N failed=N", or "summary verified=N differs=N failed=N"; then
    // " incomplete_traces=N" when some trace lacks lines.
    std::string SummaryLine() const;
    int ExitCode() const;

  private:
    bool verifyOnly_;
    mutable std::mutex mutex_;  // bays count from their own threads
    int done_ = 0;
    int differs_ = 0;
    int failed_ = 0;
    int incompleteTraces_ = 0;
    bool interrupted_ = false;
};

// The trackers in hand while a stop may be requested, and the line that says, when one is,
// what will happen to them; nothing is said with none in hand (the run says where it was
// waiting). A loop takes the first request as "no new tracker" (see interruption.h).
class BenchStop {
  public:
    // `say` prints one line of the run, from this object's thread.
    BenchStop(bool loop, std::function<void(const std::string&)> say);
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
    std::function<void(const std::string&)> say_;
    std::mutex mutex_;
    int inHand_ = 0;
    bool ending_ = false;
    StopWake wake_;
    std::jthread announcer_;
};

// What a stop request asks of `inHand` trackers, in words; empty when none is in hand.
std::string DescribeStop(StopAsked asked, int inHand);

}  // namespace ostrel::cli
