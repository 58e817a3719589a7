// ostrel-flash: the update from a console, for service technicians and automated checks. It
// connects as the Connect button does, runs the same three-stage update (or verifies, saves or
// restores, see --help) and ends with one result line for scripts.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/flash_options.h"
#include "cli/flash_session.h"
#include "cli/modes/bays.h"
#include "cli/modes/bench_loop.h"
#include "cli/modes/modes.h"
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
    if (options.ManyBays()) return RunBays(options);

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
        exitCode = RunBenchLoop(options, trace);
    } else {
        RunResult result;
        {
            FlashSession session(options, trace);
            result = session.Finish(RunMode(session));
        }
        result = WithTraceChecked(result, trace, options.traceFile);
        PrintResultLine(result);
        exitCode = result.exitCode;
    }
    if (trace != nullptr && std::fclose(trace) != 0) {
        PrintText(stderr, "ostrel-flash: the trace %s is incomplete: %s\n",
                  options.traceFile.c_str(), std::strerror(errno));
    }
    return exitCode;
}
