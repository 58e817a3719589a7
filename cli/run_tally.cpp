#include "cli/run_tally.h"

#include <algorithm>
#include <iterator>

namespace ostrel::cli {

int WorseExitCode(int a, int b) {
    // Worst first.
    static constexpr int kOrder[] = {kExitInterrupted,    kExitUpdateFailed, kExitNotConnected,
                                     kExitReleaseDiffers, kExitFileFailed,   kExitRecordIncomplete,
                                     kExitSuccess};
    const auto rank = [](int code) {
        return std::distance(std::begin(kOrder),
                             std::find(std::begin(kOrder), std::end(kOrder), code));
    };
    return rank(a) <= rank(b) ? a : b;
}

void RunTally::Count(const RunResult& result) {
    std::lock_guard lock(mutex_);
    if (result.Succeeded() || result.exitCode == kExitRecordIncomplete) {
        ++done_;
    } else if (result.outcome == RunOutcome::Differs) {
        ++differs_;
    } else {
        ++failed_;
    }
    if (result.traceIncomplete) ++incompleteTraces_;
    if (result.journalIncomplete) {
        ++missingRows_;
        noNewTracker_ = true;
    }
    exitCode_ = WorseExitCode(exitCode_, result.exitCode);
}

void RunTally::FileFailed() {
    std::lock_guard lock(mutex_);
    noNewTracker_ = true;
    exitCode_ = WorseExitCode(exitCode_, kExitFileFailed);
}

bool RunTally::TakesNewTrackers() const {
    std::lock_guard lock(mutex_);
    return !noNewTracker_;
}

std::string RunTally::SummaryLine() const {
    std::lock_guard lock(mutex_);
    const std::string traces =
        (incompleteTraces_ > 0 ? " incomplete_traces=" + std::to_string(incompleteTraces_) : "") +
        (missingRows_ > 0 ? " journal_missing=" + std::to_string(missingRows_) : "");
    if (verifyOnly_) {
        return "summary verified=" + std::to_string(done_) +
               " differs=" + std::to_string(differs_) + " failed=" + std::to_string(failed_) +
               traces;
    }
    return "summary updated=" + std::to_string(done_) + " failed=" + std::to_string(failed_) +
           traces;
}

int RunTally::ExitCode() const {
    std::lock_guard lock(mutex_);
    return exitCode_;
}

}  // namespace ostrel::cli
