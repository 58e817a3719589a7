#pragma once
// How one run ended, and the one line that tells a script so:
//   result=ok port=/dev/ttyUSB0 release=v2.2.5-R27 seconds=78.3
//   result=failed stage=verify block=0x8E80 port=... release=... seconds=... reason=TEXT
#include <cstdint>
#include <optional>
#include <string>

#include "cli/flash_options.h"
#include "core/update_stage.h"

namespace ostrel::cli {

// How a run ended, as the result line's first word names it.
enum class RunOutcome : std::uint8_t {
    Ok,           // done: updated, verified, saved or restored
    Failed,       // an exchange, a check or a file failed
    Differs,      // --verify-only: the tracker does not hold this release
    Interrupted,  // stopped on request, after the exchange in flight
};

inline constexpr RunOutcome kAllOutcomes[] = {RunOutcome::Ok, RunOutcome::Failed,
                                              RunOutcome::Differs, RunOutcome::Interrupted};

// "ok", "failed", "differs", "interrupted".
const char* OutcomeName(RunOutcome outcome);

// The release built into this program, as the result line names it: "v2.2.5-R27".
std::string ReleaseLabel();

struct RunResult {
    RunOutcome outcome = RunOutcome::Ok;
    int exitCode = kExitSuccess;
    std::optional<UpdateStage> stage;      // where it failed or stopped
    std::optional<std::uint32_t> block;    // the block whose exchange or check failed
    std::optional<std::uint32_t> address;  // the first address that differs
    std::string port;                      // the port used, empty when none was opened
    std::string bay;                       // the USB socket, on a bench of adapters
    double seconds = 0;
    std::string reason;              // why it failed, in words
    bool traceIncomplete = false;    // the --trace file lacks some of the run's lines
    bool journalIncomplete = false;  // the --journal lacks this tracker's row

    bool Succeeded() const { return exitCode == kExitSuccess; }
};

RunResult Failed(int exitCode, UpdateStage stage, std::string reason,
                 std::optional<std::uint32_t> block = std::nullopt);

// The line without its newline; the reason, which may hold blanks, comes last.
std::string FormatResultLine(const RunResult& result);

// The line on stdout, flushed at once so that a script reading a pipe sees it.
void PrintResultLine(const RunResult& result);

// "0x8C00": block and byte addresses as every message writes them.
std::string HexAddress(std::uint32_t address);

}  // namespace ostrel::cli
