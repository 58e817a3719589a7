#pragma once
// How a run ends, the same in every shape (one port, --repeat, --all, --repeat --all): what it
// counts, the summary a bench ends with, the exit code, and whether a new tracker may be taken.
#include <mutex>
#include <string>

#include "cli/flash_options.h"
#include "cli/report/result_line.h"

namespace ostrel::cli {

// A run's exit code is the worst of its trackers' and its files': 4 when a stop ended a
// tracker, else 1 when one failed, else 3 when one was not connected, else 5 when one holds
// another release (--verify-only), else 6 when a file failed, else 7 when a trace is
// incomplete, else 0. One tracker's run thus ends with its own code.
int WorseExitCode(int a, int b);

class RunTally {
  public:
    // `loop`: --repeat, which takes one tracker after another.
    RunTally(FlashMode mode, bool loop) : verifyOnly_(mode == FlashMode::VerifyOnly), loop_(loop) {}

    bool Loop() const { return loop_; }
    // A tracker's run ended with `result`. A tracker that holds the new release is counted as
    // updated even when its trace or its journal row is missing: counted as failed, it would
    // send the technician to update a good tracker again. A missing row takes no new tracker.
    void Count(const RunResult& result);
    // A bay's trace could not be opened: no new tracker is taken, and the run ends with
    // kExitFileFailed unless a tracker fared worse.
    void FileFailed();
    bool TakesNewTrackers() const;
    // "summary updated=N failed=N", or "summary verified=N differs=N failed=N"; then
    // " incomplete_traces=N" when some trace lacks lines, " journal_missing=N" when some
    // tracker's row is missing.
    std::string SummaryLine() const;
    int ExitCode() const;

  private:
    bool verifyOnly_;
    bool loop_;
    mutable std::mutex mutex_;  // bays count from their own threads
    int done_ = 0;
    int differs_ = 0;
    int failed_ = 0;
    int incompleteTraces_ = 0;
    int missingRows_ = 0;
    bool noNewTracker_ = false;
    int exitCode_ = kExitSuccess;
};

}  // namespace ostrel::cli
