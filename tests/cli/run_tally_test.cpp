#include "cli/run_tally.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/station/bench_stop.h"

namespace ostrel::cli {
namespace {

struct Ending {
    RunOutcome outcome;
    int exitCode;
    bool traceIncomplete = false;
    bool rowMissing = false;  // its journal row could not be written
};

struct TallyCase {
    const char* name;
    FlashMode mode;
    std::vector<Ending> trackers;
    bool fileFailed;
    const char* summary;
    int exitCode;
};

constexpr Ending kOk{RunOutcome::Ok, 0};
constexpr Ending kTraced{RunOutcome::Ok, 7, true};
constexpr Ending kNotConnected{RunOutcome::Failed, 3};
constexpr Ending kFailed{RunOutcome::Failed, 1};
constexpr Ending kFailedTraced{RunOutcome::Failed, 1, true};
constexpr Ending kStopped{RunOutcome::Interrupted, 4};
constexpr Ending kDiffers{RunOutcome::Differs, 5};
constexpr Ending kRowMissing{RunOutcome::Ok, 7, false, true};

// Whatever the run's shape, it ends with the worst of its trackers' and files' codes: a stop,
// a failure, no connection, another release, a file, an incomplete trace. A tracker updated
// whose trace lacks lines holds the release and counts as updated.
const TallyCase kTallies[] = {
    {"AllUpdated", FlashMode::Update, {kOk, kOk}, false, "summary updated=2 failed=0", 0},
    {"OneTraceIncomplete",
     FlashMode::Update,
     {kOk, kTraced},
     false,
     "summary updated=2 failed=0 incomplete_traces=1",
     7},
    {"OneNotConnected",
     FlashMode::Update,
     {kOk, kNotConnected},
     false,
     "summary updated=1 failed=1",
     3},
    {"FailedOutranksNotConnected",
     FlashMode::Update,
     {kNotConnected, kFailed},
     false,
     "summary updated=0 failed=2",
     1},
    {"StopOutranksFailed",
     FlashMode::Update,
     {kFailed, kStopped},
     false,
     "summary updated=0 failed=2",
     4},
    {"FailedWithItsTraceIncomplete",
     FlashMode::Update,
     {kTraced, kFailedTraced},
     false,
     "summary updated=1 failed=1 incomplete_traces=2",
     1},
    {"OneRowMissing",
     FlashMode::Update,
     {kOk, kRowMissing},
     false,
     "summary updated=2 failed=0 journal_missing=1",
     7},
    {"FileFailed", FlashMode::Update, {kOk}, true, "summary updated=1 failed=0", 6},
    {"FileOutranksIncompleteTrace",
     FlashMode::Update,
     {kTraced},
     true,
     "summary updated=1 failed=0 incomplete_traces=1",
     6},
    {"DiffersOutranksFile",
     FlashMode::VerifyOnly,
     {kDiffers},
     true,
     "summary verified=0 differs=1 failed=0",
     5},
    {"VerifyCountsDiffersApart",
     FlashMode::VerifyOnly,
     {kOk, kDiffers, kFailed},
     false,
     "summary verified=1 differs=1 failed=1",
     1},
    {"VerifyTraceIncomplete",
     FlashMode::VerifyOnly,
     {kTraced},
     false,
     "summary verified=1 differs=0 failed=0 incomplete_traces=1",
     7},
};

class RunTallyCase : public ::testing::TestWithParam<TallyCase> {};

TEST_P(RunTallyCase, EndsWithTheWorstCodeAndSumsUp) {
    const TallyCase& c = GetParam();
    RunTally tally(c.mode, true);
    for (const Ending& e : c.trackers) {
        RunResult result;
        result.outcome = e.outcome;
        result.exitCode = e.exitCode;
        result.traceIncomplete = e.traceIncomplete;
        result.journalIncomplete = e.rowMissing;
        tally.Count(result);
    }
    // A missing row, or a file that failed, takes no new tracker.
    const bool rowMissing = std::any_of(c.trackers.begin(), c.trackers.end(),
                                        [](const Ending& e) { return e.rowMissing; });
    EXPECT_EQ(tally.TakesNewTrackers(), !rowMissing);
    if (c.fileFailed) tally.FileFailed();
    EXPECT_EQ(tally.TakesNewTrackers(), !c.fileFailed && !rowMissing);
    EXPECT_EQ(tally.SummaryLine(), c.summary);
    EXPECT_EQ(tally.ExitCode(), c.exitCode);
}

INSTANTIATE_TEST_SUITE_P(Trackers, RunTallyCase, ::testing::ValuesIn(kTallies),
                         [](const auto& row) { return std::string(row.param.name); });

// The stop's words say what happens to the trackers in hand, and nothing with none.
TEST(BenchStop, SaysWhatHappensToTheTrackersInHandOnly) {
    EXPECT_EQ(DescribeStop(StopAsked::NoNewTracker, 0, "update"), "");
    EXPECT_EQ(DescribeStop(StopAsked::AtNextExchange, 0, "update"), "");
    EXPECT_EQ(DescribeStop(StopAsked::NoNewTracker, 1, "check"),
              "stopping: no new tracker is taken; the tracker in hand finishes its check "
              "(Ctrl-C again stops it at the next exchange)");
    EXPECT_EQ(DescribeStop(StopAsked::AtNextExchange, 3, "update"),
              "stopping 3 trackers in hand at the next exchange (Ctrl-C again ends at once, "
              "perhaps inside an exchange)");
}

}  // namespace
}  // namespace ostrel::cli
