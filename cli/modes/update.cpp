// The update: the same three stages as the window's, with a bar per stage on the console.
#include "cli/modes/modes.h"
#include "cli/report/console_view.h"
#include "cli/report/run_messages.h"
#include "cli/system/console_output.h"
#include "cli/system/interruption.h"
#include "core/update_sequence.h"
#include "device/sleep_inhibitor.h"

namespace ostrel::cli {

ConsoleView MakeConsoleView(const FlashSession& session) {
    // A bay's stages go to its line on the bench's display.
    const bool silent = session.Options().quiet || session.ProgressEvents() != nullptr;
    return ConsoleView(silent ? nullptr : stdout, IsTerminal(stdout),
                       TerminalSizeOf(stdout).columns);
}

UpdateEvents& ProgressEvents(FlashSession& session, ConsoleView& view) {
    UpdateEvents* bayLine = session.ProgressEvents();
    return bayLine != nullptr ? *bayLine : view;
}

RunResult UpdateTracker(FlashSession& session) {
    if (std::optional<RunResult> refused = CheckBackupFile(session)) return *refused;
    if (std::optional<RunResult> failed = session.Connect()) return *failed;
    const FlashOptions& options = session.Options();
    if (!options.backupFile.empty()) {
        if (std::optional<RunResult> failed = SaveDataMemory(session)) return *failed;
    }
    ConsoleView view = MakeConsoleView(session);
    // Once a stop is asked for, the refused exchange's failure is not shown.
    InterruptibleEvents events(ProgressEvents(session, view), session.Link());
    if (!options.quiet) session.Tell(kDoNotInterrupt);
    session.State().UpdatePhase = Phase::Requested;
    const std::unique_ptr<SleepInhibitor> awake = InhibitSleep();
    const UpdateOutcome outcome = RunUpdate(session.State(), session.Protocol(), session.Image(),
                                            options.keepUserSettings, events);
    if (session.Stopped()) {
        view.Silence();
    } else {
        view.SayOutcome(outcome.Succeeded());
    }
    if (outcome.Succeeded()) return RunResult{};
    const std::string reason =
        outcome.reason == UpdateFailure::ReadBackDiffers
            ? "the block read back differs from the release at " + HexAddress(*outcome.differsAt)
            : DescribeExchange(outcome.step);
    return session.Fail(outcome.stage, UpdateStageWords(outcome.stage), outcome.block, reason);
}

RunResult RunMode(FlashSession& session) {
    switch (ModeOf(session.Options())) {
        case FlashMode::VerifyOnly:
            return VerifyTracker(session);
        case FlashMode::BackupOnly:
            return BackupTracker(session);
        case FlashMode::Restore:
            return RestoreTracker(session);
        case FlashMode::Update:
            break;
    }
    return UpdateTracker(session);
}

}  // namespace ostrel::cli
