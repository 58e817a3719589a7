// ostrel-flash: the update from a console, for service technicians and automated checks. It
// connects as the Connect button does, runs the same three-stage update (or verifies, saves or
// restores, see --help) and ends with one result line for scripts.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "cli/flash_options.h"
#include "cli/report/list_ports.h"
#include "cli/report/release_description.h"
#include "cli/station/bays.h"
#include "cli/station/bench_loop.h"
#include "cli/station/journal.h"
#include "cli/system/atomic_file.h"
#include "cli/system/console_output.h"
#include "cli/system/interruption.h"
#include "cli/system/program_files.h"
#include "cli/tracker_run.h"
#include "payload/release_identity.h"

namespace {

using namespace ostrel::cli;

// --help, --version and --list end here: their text must have reached standard output.
int EndWithOutputWritten(int exitCode) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return exitCode;
    PrintText(stderr, "ostrel-flash: cannot write to standard output: %s\n", std::strerror(errno));
    return kExitFileFailed;
}

}  // namespace

int main(int argc, char** argv) {
    OpenClosedStandardStreams();
    FlashOptions options;
    std::string error;
    if (!ParseFlashOptions(ProgramArguments(argc, argv), options, error)) {
        PrintText(stderr, "ostrel-flash: %s\nTry 'ostrel-flash --help'.\n", error.c_str());
        return kExitUsage;
    }
    if (options.help) {
        PutText(stdout, FlashUsage());
        return EndWithOutputWritten(kExitSuccess);
    }
    if (options.version) {
        PutText(stdout, ReleaseDescription());
        return EndWithOutputWritten(kExitSuccess);
    }
    if (options.list) return EndWithOutputWritten(ListPorts(*ostrel::MakePortDirectory(), stdout));
    if (ostrel::kReleaseIdentity.placeholder) {
        PrintText(stderr, "ostrel-flash: %s\n", ostrel::kPlaceholderMark);
    }
    InstallInterruptionHandlers(kExitInterrupted);
    // A station left running keeps a record of every tracker unless told where.
    if (options.repeat && options.journalFile.empty()) options.journalFile = kDefaultJournal;
    // The empty device asks for no trace (none per bay) and no journal.
    if (IsNullDevice(options.traceFile)) options.traceFile.clear();
    if (IsNullDevice(options.journalFile)) options.journalFile.clear();
    std::unique_ptr<Journal> journal;
    if (!options.journalFile.empty()) {
        std::string why;
        journal = Journal::Open(
            options.journalFile,
            {ModeOf(options), options.keepUserSettings, !options.traceFile.empty(), HostName()},
            why);
        if (journal == nullptr) {
            return EndBeforeAnyTracker(Failed(kExitFileFailed, ostrel::UpdateStage::Journal, why));
        }
    }
    RunTally tally(ModeOf(options), options.repeat);
    TraceFiles traces(options.traceFile, options.ManyBays());
    TrackersInHand inHand;
    RunContext run{options, traces, journal.get(), tally, inHand};
    const LastWords lastWords([&run] { ReportTrackersInHandAtOnce(run); });
    if (options.ManyBays()) return RunBays(run);
    if (options.port.empty()) {
        const std::string many =
            DescribeManyAdapters(ostrel::MakePortDirectory()->FindBridgePorts());
        if (!many.empty()) {
            PrintText(stderr, "ostrel-flash: %s", many.c_str());
            return kExitUsage;
        }
    }
    if (std::optional<RunResult> refused = traces.OpenBeforeAnyTracker({})) {
        return EndBeforeAnyTracker(*refused);
    }
    if (options.repeat) return RunBenchLoop(run);
    ConsoleTrackerView console;
    RunTracker(run, {}, console);
    traces.Close([&](const std::string& line) { console.Message(line); });
    return tally.ExitCode();
}
