#include "cli/report/result_line.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "cli/system/console_output.h"
#include "payload/release_identity.h"

namespace ostrel::cli {
namespace {

// In the order of the enum.
constexpr const char* kOutcomeNames[] = {"ok", "failed", "differs", "interrupted"};
static_assert(std::size(kOutcomeNames) == std::size(kAllOutcomes));

}  // namespace

const char* OutcomeName(RunOutcome outcome) {
    return kOutcomeNames[static_cast<std::size_t>(outcome)];
}

RunResult Failed(int exitCode, UpdateStage stage, std::string reason,
                 std::optional<std::uint32_t> block) {
    RunResult result;
    result.outcome = RunOutcome::Failed;
    result.exitCode = exitCode;
    result.stage = stage;
    result.block = block;
    result.reason = std::move(reason);
    return result;
}

std::string ReleaseLabel() {
    std::string label = kReleaseIdentity.name;  // one word, for scripts that split on blanks
    std::replace(label.begin(), label.end(), ' ', '-');
    return label;
}

std::string HexAddress(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", address);
    return text;
}

std::string FormatResultLine(const RunResult& result) {
    std::string line = std::string("result=") + OutcomeName(result.outcome);
    if (result.stage) line += std::string(" stage=") + StageName(*result.stage);
    if (result.block) line += " block=" + HexAddress(*result.block);
    if (result.address) line += " address=" + HexAddress(*result.address);
    line += " port=" + (result.port.empty() ? std::string("-") : result.port);
    if (!result.bay.empty()) line += " bay=" + result.bay;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", result.seconds);
    line += " release=" + ReleaseLabel() + " seconds=" + seconds;
    if (result.traceIncomplete) line += " trace=incomplete";
    if (result.journalIncomplete) line += " journal=incomplete";
    if (!result.reason.empty()) line += " reason=" + result.reason;
    return line;
}

void PrintResultLine(const RunResult& result) {
    PrintText(stdout, "%s\n", FormatResultLine(result).c_str());
    std::fflush(stdout);
}

}  // namespace ostrel::cli
