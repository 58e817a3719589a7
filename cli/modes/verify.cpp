// --verify-only: does the tracker hold this release? The program memory read back and compared
// block by block, up to the first byte that differs; nothing is written.
#include "cli/modes/modes.h"
#include "cli/report/console_view.h"
#include "cli/report/run_messages.h"
#include "core/program_check.h"

namespace ostrel::cli {

RunResult VerifyTracker(FlashSession& session) {
    if (std::optional<RunResult> failed = session.Connect()) return *failed;
    ConsoleView console = MakeConsoleView(session);
    const UpdateOutcome outcome =
        CheckProgramMemory(session.Protocol(), session.Image(), ProgressEvents(session, console));
    if (outcome.reason == UpdateFailure::ReadBackDiffers) {
        session.Say("The tracker does not hold release " + ReleaseLabel() +
                    ": its program memory first differs at " + HexAddress(*outcome.differsAt) +
                    ".");
        RunResult result;
        result.outcome = RunOutcome::Differs;
        result.exitCode = kExitReleaseDiffers;
        result.address = outcome.differsAt;
        return result;
    }
    if (!outcome.Succeeded()) {
        return session.Fail(UpdateStage::Verify, "reading program memory", outcome.block,
                            DescribeExchange(outcome.step));
    }
    session.Say("The tracker holds release " + ReleaseLabel() + ".");
    return RunResult{};
}

}  // namespace ostrel::cli
