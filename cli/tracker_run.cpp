#include "cli/tracker_run.h"

#include "cli/flash_session.h"
#include "cli/modes/modes.h"
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

TrackerOutcome RunTracker(RunContext& run, const TrackerPlace& place, TrackerView& view) {
    TrackerOutcome outcome;
    FlashOptions options = run.options;
    if (!place.port.empty()) {
        options.port = place.port;
        options.ports = {place.port};
    }
    options.all = false;
    options.traceFile = run.options.traceFile.empty() ? "" : run.traces.PathFor(place.bay);
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
        session.SendMessagesTo([&view](const std::string& line) { view.Message(line); });
        result = RunMode(session);
        portTaken = session.Link().LastOpenReport().error == PortOpenError::InUse;
        outcome.hungUp = session.Link().HungUp();
        result = session.Finish(result);
    }
    result.bay = place.bay;
    // A loop comes back to a port another program holds; whoever holds it reports its tracker.
    if (portTaken && run.tally.Loop()) {
        if (!place.lookingAgain) view.Aside(result.port, "taken by another program");
        outcome.end = TrackerEnd::PortTaken;
        return outcome;
    }
    // The row is on the disk before the result line shows: the adapter may be pulled out as
    // soon as the line is shown, and its serial number is asked while it is in.
    std::string why;
    if (run.journal != nullptr) {
        const std::string serial = place.serial.empty()
                                       ? AdapterSerialOn(*MakePortDirectory(), result.port)
                                       : place.serial;
        if (!run.journal->Record(result, serial, why)) {
            view.Note("ostrel-flash: " + why +
                      (run.tally.Loop() ? "; no new tracker is taken" : ""));
            run.tally.FileFailed();
        }
    }
    view.Result(result);
    run.tally.Count(result);
    return outcome;
}

int EndBeforeAnyTracker(const RunResult& refused) {
    PrintText(stderr, "ostrel-flash: %s\n", refused.reason.c_str());
    PrintResultLine(refused);
    return kExitFileFailed;
}

}  // namespace ostrel::cli
