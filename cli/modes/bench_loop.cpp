#include "cli/modes/bench_loop.h"

#include "cli/modes/bench_rule.h"
#include "cli/modes/modes.h"
#include "cli/report/run_messages.h"
#include "cli/system/bench_wait.h"
#include "cli/system/console_output.h"
#include "device/hotplug.h"
#include "device/port_directory.h"

namespace ostrel::cli {

int RunBenchLoop(const FlashOptions& options, std::FILE* traceFile, Journal* journal) {
    const std::unique_ptr<DeviceEventSource> source = RegisterDeviceWatch();
    if (source == nullptr) {
        PutText(stderr, "ostrel-flash: cannot watch for the adapter being plugged in\n");
        return kExitNotConnected;
    }
    BenchWait wait(*source);
    // The line after the terminal's echo of ^C.
    BenchStop stop(true, [](const std::string& line) {
        std::fflush(stdout);
        PrintText(stderr, "\nostrel-flash: %s\n", line.c_str());
    });
    const std::unique_ptr<PortDirectory> directory = MakePortDirectory();
    auto say = [&](const char* line) {
        if (!options.quiet) PrintText(stdout, "%s\n", line);
        std::fflush(stdout);
    };
    auto stoppedWaiting = [&](const char* forWhat) {
        PrintText(
            stderr, "\nostrel-flash: %s\n",
            DescribeStoppedWaiting((std::string("the adapter to be ") + forWhat).c_str()).c_str());
    };

    BenchTally tally(ModeOf(options) == FlashMode::VerifyOnly);
    bool journalFailed = false;
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
            FindBridgePortAfterArrival(*directory, [&](std::uint32_t ms) { return wait.Pause(ms); })
                .empty() &&
            wait.StopRequested();
        if (pausedOut || !stop.Take()) {
            stoppedWaiting("given its port by its driver");
            break;
        }
        {
            RunResult result;
            {
                FlashSession session(options, traceFile);
                result = session.Finish(RunMode(session));
            }
            // Asked while the adapter is in: it may be pulled out as soon as the line is shown.
            const std::string adapterSerial =
                journal != nullptr ? AdapterSerialOn(*directory, result.port) : std::string();
            PrintResultLine(result);
            tally.Count(result);
            stop.Done();
            std::string error;
            if (journal != nullptr && !journal->Record(result, adapterSerial, error)) {
                PrintText(stderr, "ostrel-flash: %s; no new tracker is taken\n", error.c_str());
                journalFailed = true;
                break;
            }
        }
        if (wait.StopRequested()) break;
        // A removal while the tracker was being updated counts too.
        say("Pull the adapter out for the next tracker");
        if (!wait.For(kBridgeRemoved)) {
            stoppedWaiting("pulled out");
            break;
        }
        source->TakeNotice();
    }
    PrintText(stdout, "%s\n", tally.SummaryLine().c_str());
    std::fflush(stdout);
    const int code = tally.ExitCode();
    return code == kExitSuccess && journalFailed ? kExitFileFailed : code;
}

}  // namespace ostrel::cli
