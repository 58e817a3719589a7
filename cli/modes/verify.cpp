// --verify-only: does the tracker hold this release? Reads the program memory back block by
// block and stops at the first byte that differs; sends no write.
#include <unistd.h>

#include "cli/modes/modes.h"
#include "cli/report/console_view.h"

namespace ostrel::cli {

RunResult VerifyTracker(FlashSession& session) {
    if (std::optional<RunResult> failed = session.Connect()) return *failed;
    const bool quiet = session.Options().quiet;
    ConsoleView view(quiet ? nullptr : stdout, isatty(STDOUT_FILENO) == 1, false);
    view.SetProgressPosition(ProgressBar::BarVerify, 0);
    for (std::uint32_t block = kFlashStart; block < kFlashStart + kFlashSize; block += kBlockSize) {
        if (!session.Protocol().ReadBlock(block)) {
            view.SetIndicatorVisible(Indicator::lbVerifyErr, true);
            return session.Fail("verify", "reading program memory", block,
                                session.Trace().DescribeLastExchange());
        }
        const std::span<const std::uint8_t> release(&session.Image()[block], kBlockSize);
        if (const auto at = FirstDifference(session.Protocol(), block, release)) {
            view.SetIndicatorVisible(Indicator::lbVerifyErr, true);
            session.Say("The tracker does not hold release " + ReleaseLabel() +
                        ": its program memory first differs at " + HexAddress(*at) + ".");
            RunResult result;
            result.outcome = "differs";
            result.exitCode = kExitReleaseDiffers;
            result.address = *at;
            return result;
        }
        view.SetProgressPosition(ProgressBar::BarVerify,
                                 (block + kBlockSize - kFlashStart) * 100 / kFlashSize);
    }
    view.SetIndicatorVisible(Indicator::lbVerifyOK, true);
    session.Say("The tracker holds release " + ReleaseLabel() + ".");
    return RunResult{};
}

}  // namespace ostrel::cli
