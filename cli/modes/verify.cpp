// --verify-only: does the tracker hold this release? Reads the program memory back block by
// block and stops at the first byte that differs; sends no write.
#include "cli/modes/modes.h"
#include "cli/report/console_view.h"
#include "cli/report/run_messages.h"

namespace ostrel::cli {

RunResult VerifyTracker(FlashSession& session) {
    if (std::optional<RunResult> failed = session.Connect()) return *failed;
    ConsoleView console = MakeConsoleView(session.Options());
    UpdateEvents& view = ProgressEvents(session, console);
    constexpr std::uint32_t kBlocks = kFlashSize / kBlockSize;
    view.StageBegun(UpdateStage::Verify, kBlocks);
    std::uint32_t done = 0;
    for (std::uint32_t block = kFlashStart; block < kFlashStart + kFlashSize; block += kBlockSize) {
        if (!session.Protocol().ReadBlock(block)) {
            view.StageEnded(UpdateStage::Verify, false);
            return session.Fail(UpdateStage::Verify, "reading program memory", block,
                                DescribeExchange(session.Protocol().LastExchange()));
        }
        const std::span<const std::uint8_t> release(&session.Image()[block], kBlockSize);
        if (const auto at = FirstDifference(session.Protocol(), block, release)) {
            view.StageEnded(UpdateStage::Verify, false);
            session.Say("The tracker does not hold release " + ReleaseLabel() +
                        ": its program memory first differs at " + HexAddress(*at) + ".");
            RunResult result;
            result.outcome = RunOutcome::Differs;
            result.exitCode = kExitReleaseDiffers;
            result.address = *at;
            return result;
        }
        view.Progress(UpdateStage::Verify, ++done, kBlocks);
    }
    view.StageEnded(UpdateStage::Verify, true);
    session.Say("The tracker holds release " + ReleaseLabel() + ".");
    return RunResult{};
}

}  // namespace ostrel::cli
