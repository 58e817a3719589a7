#pragma once
// One tracker's run, the same in every shape of run (one port, --repeat, --all, --repeat
// --all): its trace, its session and mode, its journal row, its result line and its count in
// the run's tally. The shapes differ only in how trackers come and where they are shown.
#include <cstdint>
#include <string>

#include "cli/flash_options.h"
#include "cli/report/trace_file.h"
#include "cli/run_tally.h"
#include "cli/station/journal.h"
#include "cli/trackers_in_hand.h"
#include "core/update_events.h"

namespace ostrel::cli {

// Where a tracker's run shows itself: the console for one port, a bay's line on a bench.
class TrackerView {
  public:
    virtual ~TrackerView() = default;
    // The session's stages and progress; null: the session's own console lines.
    virtual UpdateEvents* Progress() { return nullptr; }
    // A message of the tracker's (a failure, the last exchanges), one line.
    virtual void Message(const std::string& line) = 0;
    // A line of the run's own (a file that failed).
    virtual void Note(const std::string& line) { Message(line); }
    virtual void Result(const RunResult& result) = 0;
    // The tracker is left to another program that holds `port`.
    virtual void Aside(const std::string& port, const std::string& why) = 0;
};

// One port's tracker on the console: messages on stderr, the result line on stdout.
class ConsoleTrackerView final : public TrackerView {
  public:
    void Message(const std::string& line) override;
    void Result(const RunResult& result) override;
    void Aside(const std::string& port, const std::string& why) override;
};

// What every tracker of a run shares.
struct RunContext {
    const FlashOptions& options;
    TraceFiles& traces;
    Journal* journal;  // null when none is kept
    RunTally& tally;
    TrackersInHand& inHand;
};

struct TrackerPlace {
    std::string port;           // empty: found as the Connect button finds it
    std::string bay;            // empty: one port, not a bay of a bench
    std::string serial;         // the adapter's USB serial number, when the bench's lookup knows it
    bool lookingAgain = false;  // at a port another program held: said once, not again
};

enum class TrackerEnd : std::uint8_t {
    Counted,    // shown, recorded and counted
    PortTaken,  // a loop left it to another program that holds its port: nothing sent or counted
};

struct TrackerOutcome {
    TrackerEnd end = TrackerEnd::Counted;
    bool hungUp = false;  // the port went away under an exchange: the adapter was pulled out
};

TrackerOutcome RunTracker(RunContext& run, const TrackerPlace& place, TrackerView& view);

// The run ends at once: the result line and journal row of every tracker in hand, each said
// interrupted, perhaps inside an exchange.
void ReportTrackersInHandAtOnce(RunContext& run);

// A file refused before any tracker is touched ends the run, whatever its shape: the reason
// and the result line, then kExitFileFailed.
int EndBeforeAnyTracker(const RunResult& refused);

}  // namespace ostrel::cli
