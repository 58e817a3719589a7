// ostrel-flash: the update from a console, for service technicians and automated checks. It
// connects as the Connect button does, runs the same three-stage update (or verifies, saves or
// restores, see --help) and ends with one result line for scripts.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "cli/flash_options.h"
#include "cli/flash_session.h"
#include "cli/modes/bays.h"
#include "cli/modes/bench_loop.h"
#include "cli/modes/modes.h"
#include "cli/report/journal.h"
#include "cli/report/list_ports.h"
#include "cli/report/release_description.h"
#include "cli/system/atomic_file.h"
#include "cli/system/console_output.h"
#include "cli/system/interruption.h"
#include "cli/system/program_files.h"
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
    // The empty device asks for no trace: no file, none per bay.
    if (IsNullDevice(options.traceFile)) options.traceFile.clear();
    // A station left running keeps a record of every tracker unless told where.
    if (options.repeat && options.journalFile.empty()) options.journalFile = kDefaultJournal;
    std::unique_ptr<Journal> journal;
    if (!options.journalFile.empty()) {
        std::string why;
        journal = Journal::Open(options.journalFile, ModeOf(options), why);
        if (journal == nullptr) {
            PrintText(stderr, "ostrel-flash: %s; nothing was written into any tracker\n",
                      why.c_str());
            return kExitFileFailed;
        }
    }
    if (options.ManyBays()) return RunBays(options, journal.get());
    if (options.port.empty()) {
        const std::string many =
            DescribeManyAdapters(ostrel::MakePortDirectory()->FindBridgePorts());
        if (!many.empty()) {
            PrintText(stderr, "ostrel-flash: %s", many.c_str());
            return kExitUsage;
        }
    }

    std::FILE* trace = nullptr;
    if (!options.traceFile.empty()) {
        RunResult result;
        trace = OpenTraceFile(options.traceFile, result);
        if (trace == nullptr) {
            PrintText(stderr, "ostrel-flash: %s\n", result.reason.c_str());
            PrintResultLine(result);
            return result.exitCode;
        }
    }
    int exitCode = kExitSuccess;
    if (options.repeat) {
        exitCode = RunBenchLoop(options, trace, journal.get());
    } else {
        RunResult result;
        {
            FlashSession session(options, trace);
            result = session.Finish(RunMode(session));
        }
        const std::string serial =
            journal != nullptr ? AdapterSerialOn(*ostrel::MakePortDirectory(), result.port) : "";
        PrintResultLine(result);
        exitCode = result.exitCode;
        if (std::string why; journal != nullptr && !journal->Record(result, serial, why)) {
            PrintText(stderr, "ostrel-flash: %s\n", why.c_str());
            if (exitCode == kExitSuccess) exitCode = kExitFileFailed;
        }
    }
    if (trace != nullptr && std::fclose(trace) != 0) {
        PrintText(stderr, "ostrel-flash: the trace %s is incomplete: %s\n",
                  options.traceFile.c_str(), std::strerror(errno));
    }
    return exitCode;
}
