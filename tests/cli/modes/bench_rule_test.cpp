#include "cli/modes/bench_rule.h"

#include <gtest/gtest.h>

namespace ostrel::cli {
namespace {

RunResult Ended(RunOutcome outcome, int exitCode) {
    RunResult result;
    result.outcome = outcome;
    result.exitCode = exitCode;
    return result;
}

// One port's exit codes, for a bench of them: a stop outranks a failure, a failure a tracker
// that holds another release; --verify-only counts those apart.
TEST(BenchTally, SumsUpAndEndsAsOnePortWould) {
    const RunResult ok = Ended(RunOutcome::Ok, kExitSuccess);
    const RunResult differs = Ended(RunOutcome::Differs, kExitReleaseDiffers);
    const RunResult failed = Ended(RunOutcome::Failed, kExitUpdateFailed);
    const RunResult stopped = Ended(RunOutcome::Interrupted, kExitInterrupted);

    BenchTally verify(true);
    verify.Count(ok);
    EXPECT_EQ(verify.ExitCode(), kExitSuccess);
    verify.Count(differs);
    EXPECT_EQ(verify.SummaryLine(), "summary verified=1 differs=1 failed=0");
    EXPECT_EQ(verify.ExitCode(), kExitReleaseDiffers);
    verify.Count(failed);
    EXPECT_EQ(verify.ExitCode(), kExitUpdateFailed);
    verify.Count(stopped);
    EXPECT_EQ(verify.SummaryLine(), "summary verified=1 differs=1 failed=2");
    EXPECT_EQ(verify.ExitCode(), kExitInterrupted);

    BenchTally update(false);
    update.Count(ok);
    update.Count(Ended(RunOutcome::Failed, kExitNotConnected));
    EXPECT_EQ(update.SummaryLine(), "summary updated=1 failed=1");
    EXPECT_EQ(update.ExitCode(), kExitUpdateFailed);
}

// A tracker updated whose trace lacks lines holds the new release: counted as updated, the
// incomplete trace named apart, and the bench ends as that one port did (7) unless a tracker
// fared worse.
TEST(BenchTally, CountsAnUpdateWithAnIncompleteTraceAsUpdatedAndNamesTheTrace) {
    RunResult traced = Ended(RunOutcome::Ok, kExitTraceIncomplete);
    traced.traceIncomplete = true;
    BenchTally update(false);
    update.Count(Ended(RunOutcome::Ok, kExitSuccess));
    update.Count(traced);
    EXPECT_EQ(update.SummaryLine(), "summary updated=2 failed=0 incomplete_traces=1");
    EXPECT_EQ(update.ExitCode(), kExitTraceIncomplete);
    RunResult failed = Ended(RunOutcome::Failed, kExitUpdateFailed);
    failed.traceIncomplete = true;
    update.Count(failed);
    EXPECT_EQ(update.SummaryLine(), "summary updated=2 failed=1 incomplete_traces=2");
    EXPECT_EQ(update.ExitCode(), kExitUpdateFailed);

    BenchTally verify(true);
    verify.Count(traced);
    EXPECT_EQ(verify.SummaryLine(), "summary verified=1 differs=0 failed=0 incomplete_traces=1");
    verify.Count(Ended(RunOutcome::Differs, kExitReleaseDiffers));
    EXPECT_EQ(verify.ExitCode(), kExitReleaseDiffers);
}

// The stop's words say what happens to the trackers in hand, and nothing with none.
TEST(BenchStop, SaysWhatHappensToTheTrackersInHandOnly) {
    EXPECT_EQ(DescribeStop(StopAsked::NoNewTracker, 0), "");
    EXPECT_EQ(DescribeStop(StopAsked::AtNextExchange, 0), "");
    EXPECT_EQ(DescribeStop(StopAsked::NoNewTracker, 1),
              "stopping: no new tracker is taken; the tracker in hand finishes its update "
              "(Ctrl-C again stops it at the next exchange)");
    EXPECT_EQ(DescribeStop(StopAsked::AtNextExchange, 3),
              "stopping 3 trackers in hand at the next exchange (Ctrl-C again ends at once, "
              "perhaps inside an exchange)");
}

}  // namespace
}  // namespace ostrel::cli
