#include "cli/tracker_run.h"

#include <chrono>
#include <functional>

#include "cli/flash_session.h"
#include "cli/modes/modes.h"
#include "cli/report/run_messages.h"
#include "cli/system/console_output.h"
#include "device/port_directory.h"

namespace ostrel::cli {

void ConsoleTrackerView::Message(const std::string& line) {
    std::fflush(stdout);  // the outcome lines come first on a shared terminal
    PrintText(stderr, "%s\n", line.c_str());
}

void ConsoleTrackerView::Result(const RunResult& result) {
    PrintResultLine(result);
}

void ConsoleTrackerView::Aside(const std::string& port, const std::string& why) {
    PrintText(stdout, "%s %s\n", port.c_str(), why.c_str());
    std::fflush(stdout);
}

namespace {

// The tracker's journal row; a row that could not be written is named, and said on the result
// line.
void RecordRow(RunContext& run, RunResult& result, const std::string& serial,
               const std::function<void(const std::string&)>& say) {
    const Journal::Row row = run.journal->Record(result, serial);
    if (!row.notice.empty()) say("ostrel-flash: " + row.notice);
    if (row.written) return;
    say("ostrel-flash: " + row.error + (run.tally.Loop() ? "; no new tracker is taken" : ""));
    result.journalIncomplete = true;
    if (result.Succeeded()) result.exitCode = kExitRecordIncomplete;
}

}  // namespace

TrackerOutcome RunTracker(RunContext& run, const TrackerPlace& place, TrackerView& view) {
    TrackerOutcome outcome;
    FlashOptions options = run.options;
    if (!place.port.empty()) {
        options.port = place.port;
        options.ports = {place.port};
    }
    options.all = false;
    options.traceFile = run.options.traceFile.empty() ? "" : run.traces.PathFor(place.bay);
    // Known before the run may end at once, and asked on this thread: udev is asked from one
    // thread at a time. The adapter is in now; it may be pulled out once its result shows.
    TrackersInHand::Tracker tracker{place.port, place.bay, place.serial};
    if (tracker.port.empty()) tracker.port = MakePortDirectory()->FindBridgePort();
    if (tracker.serial.empty() && run.journal != nullptr) {
        tracker.serial = AdapterSerialOn(*MakePortDirectory(), tracker.port);
    }
    const std::string serial = tracker.serial;
    const int held = run.inHand.Take(std::move(tracker));
    RunResult result;
    bool portTaken = false;
    std::FILE* trace = run.traces.For(place.bay, result);
    if (trace == nullptr && !options.traceFile.empty()) {
        // A bay's trace that cannot be opened: its tracker is not touched.
        view.Message("ostrel-flash: " + result.reason);
        result.port = place.port;
        run.tally.FileFailed();
    } else {
        FlashSession session(options, trace);
        session.ReportProgressTo(view.Progress());
        // A loop says once, on its own line, that another program holds the port.
        session.SendMessagesTo([&](const std::string& line) {
            const bool taken = session.Link().LastOpenReport().error == PortOpenError::InUse;
            if (!taken || !run.tally.Loop()) view.Message(line);
        });
        result = RunMode(session);
        portTaken = session.Link().LastOpenReport().error == PortOpenError::InUse;
        outcome.hungUp = session.Link().HungUp();
        result = session.Finish(result);
    }
    result.bay = place.bay;
    // Reported already, when the run ended at once meanwhile.
    if (!run.inHand.Release(held)) return outcome;
    // A run ended at once waits for this report to be whole.
    struct ReportedOnReturn {
        TrackersInHand& inHand;
        int held;
        ~ReportedOnReturn() { inHand.Reported(held); }
    } reported{run.inHand, held};
    // A loop comes back to a port another program holds; whoever holds it reports its tracker.
    if (portTaken && run.tally.Loop()) {
        if (!place.lookingAgain) view.Aside(result.port, "taken by another program");
        outcome.end = TrackerEnd::PortTaken;
        return outcome;
    }
    // The row is on the disk before the result line shows.
    if (run.journal != nullptr) {
        RecordRow(run, result, serial, [&view](const std::string& line) { view.Note(line); });
    }
    view.Result(result);
    run.tally.Count(result);
    return outcome;
}

void ReportTrackersInHandAtOnce(RunContext& run) {
    for (const TrackersInHand::Tracker& tracker : run.inHand.ReleaseAll()) {
        RunResult result;
        result.outcome = RunOutcome::Interrupted;
        result.exitCode = kExitInterrupted;
        result.port = tracker.port;
        result.bay = tracker.bay;
        result.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - tracker.since).count();
        result.reason = kEndedAtOnce;
        if (run.journal != nullptr) {
            RecordRow(run, result, tracker.serial,
                      [](const std::string& line) { PrintText(stderr, "%s\n", line.c_str()); });
        }
        PrintResultLine(result);
    }
    run.inHand.AwaitReports();
}

int EndBeforeAnyTracker(const RunResult& refused) {
    PrintText(stderr, "ostrel-flash: %s\n", refused.reason.c_str());
    PrintResultLine(refused);
    return kExitFileFailed;
}

}  // namespace ostrel::cli
