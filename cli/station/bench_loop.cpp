#include "cli/station/bench_loop.h"

#include "cli/report/run_messages.h"
#include "cli/station/bench_stop.h"
#include "cli/station/bench_wait.h"
#include "cli/system/console_output.h"
#include "device/hotplug.h"
#include "device/look_again.h"
#include "device/port_directory.h"

namespace ostrel::cli {

int RunBenchLoop(RunContext& run) {
    const std::unique_ptr<DeviceEventSource> source = RegisterDeviceWatch();
    if (source == nullptr) {
        PutText(stderr, "ostrel-flash: cannot watch for the adapter being plugged in\n");
        return kExitNotConnected;
    }
    BenchWait wait(*source);
    // The line after the terminal's echo of ^C.
    BenchStop stop(true, WordsFor(ModeOf(run.options)).work, [](const std::string& line) {
        std::fflush(stdout);
        PrintText(stderr, "\nostrel-flash: %s\n", line.c_str());
    });
    const std::unique_ptr<PortDirectory> directory = MakePortDirectory();
    auto say = [&](const char* line) {
        if (!run.options.quiet) PrintText(stdout, "%s\n", line);
        std::fflush(stdout);
    };
    auto stoppedWaiting = [&](const char* forWhat) {
        PrintText(
            stderr, "\nostrel-flash: %s\n",
            DescribeStoppedWaiting((std::string("the adapter to be ") + forWhat).c_str()).c_str());
    };
    auto pause = [&](std::uint32_t ms) { return wait.Pause(ms); };

    ConsoleTrackerView console;
    // Only the first tracker may be plugged in already. Later the notices alone count: udev
    // may announce a removal before the device is gone from its lookup.
    bool present = !directory->FindBridgePort().empty();
    for (;;) {
        if (!present) {
            say("Waiting for the adapter to be plugged in (Ctrl-C ends)");
            if (!wait.For(kBridgeArrived)) {
                stoppedWaiting("plugged in");
                break;
            }
        }
        present = false;
        source->TakeNotice();
        // The port may show some time after the adapter (Windows' driver makes it later).
        const bool pausedOut =
            FindBridgePortAfterArrival(*directory, pause).empty() && wait.StopRequested();
        if (pausedOut || !stop.Take()) {
            stoppedWaiting("given its port by its driver");
            break;
        }
        TrackerPlace place;
        LookAgainSchedule taken;
        while (RunTracker(run, place, console).end == TrackerEnd::PortTaken) {
            const std::optional<std::uint32_t> next = taken.NextPause();
            if (!next || !wait.Pause(*next)) break;
            place.lookingAgain = true;
        }
        stop.Done();
        if (wait.StopRequested() || !run.tally.TakesNewTrackers()) break;
        // A removal while the tracker was being updated counts too.
        say("Pull the adapter out for the next tracker");
        if (!wait.For(kBridgeRemoved)) {
            stoppedWaiting("pulled out");
            break;
        }
        source->TakeNotice();
    }
    PrintText(stdout, "%s\n", run.tally.SummaryLine().c_str());
    std::fflush(stdout);
    run.traces.Close([&](const std::string& line) { console.Message(line); });
    return run.tally.ExitCode();
}

}  // namespace ostrel::cli
