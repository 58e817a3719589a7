// The update: the same three stages as the window's, with a bar per stage on the console.
#include <unistd.h>

#include "cli/modes/modes.h"
#include "cli/report/console_view.h"
#include "cli/report/run_messages.h"
#include "cli/system/console_output.h"
#include "cli/system/interruption.h"
#include "core/update_sequence.h"

namespace ostrel::cli {
namespace {

// The session's own view, which keeps the stages' outcomes, and a second one that only shows.
class MirroredView final : public UpdateView {
  public:
    MirroredView(UpdateView& view, UpdateView* mirror) : view_(view), mirror_(mirror) {}
    void SetIndicatorVisible(Indicator indicator, bool visible) override {
        view_.SetIndicatorVisible(indicator, visible);
        if (mirror_ != nullptr) mirror_->SetIndicatorVisible(indicator, visible);
    }
    void SetProgressPosition(ProgressBar bar, std::uint32_t position) override {
        view_.SetProgressPosition(bar, position);
        if (mirror_ != nullptr) mirror_->SetProgressPosition(bar, position);
    }
    void SetButtonEnabled(WizardButton button, bool enabled) override {
        view_.SetButtonEnabled(button, enabled);
    }
    void ProcessPendingEvents() override { view_.ProcessPendingEvents(); }
    bool IsKeepUserSelected() override { return view_.IsKeepUserSelected(); }

  private:
    UpdateView& view_;
    UpdateView* mirror_;
};

}  // namespace

std::optional<std::uint32_t> FirstDifference(const BootloaderProtocol& protocol,
                                             std::uint32_t block,
                                             std::span<const std::uint8_t> expected) {
    for (std::uint32_t i = 0; i < expected.size() && i < kBlockSize; ++i) {
        if (protocol.ReceiveBuffer()[1 + i] != expected[i]) return block + i;
    }
    return std::nullopt;
}

RunResult UpdateTracker(FlashSession& session) {
    if (std::optional<RunResult> failed = session.Connect()) return *failed;
    const FlashOptions& options = session.Options();
    if (!options.backupFile.empty()) {
        if (std::optional<RunResult> failed = SaveDataMemory(session)) return *failed;
    }
    UpdaterState& state = session.State();
    const bool terminal = isatty(STDOUT_FILENO) == 1;
    ConsoleView console(options.quiet ? nullptr : stdout, terminal, options.keepUserSettings);
    MirroredView view(console, session.ProgressMirror());
    // Once a stop is asked for, the refused exchange's failure display is not shown.
    InterruptibleView interruptible(view, session.Link());
    if (!options.quiet) {
        std::fflush(stdout);
        PrintText(stderr, "%s\n", kDoNotInterrupt);
    }
    state.UpdatePhase = 1;
    RunUpdate(state, session.Protocol(), session.Image(), interruptible);
    if (state.UpdatePhase == 5) return RunResult{};
    if (session.Stopped()) {
        if (terminal && !options.quiet) PutText(stdout, "\n");  // end a bar's line
        const char* stage = interruptible.Stage() == UpdateStage::Verifying     ? "verify"
                            : interruptible.Stage() == UpdateStage::WritingData ? "data"
                                                                                : "write";
        return session.Interrupted(stage, state.CurrentAddress - state.BlockSize,
                                   DescribeInterruption(state, interruptible.Stage()));
    }

    // The failed block is the one before CurrentAddress, which the sequence advances whether
    // or not a block succeeds.
    const std::uint32_t block = state.CurrentAddress - state.BlockSize;
    std::string reason = session.Trace().DescribeLastExchange();
    if (console.VerifyFailed()) {
        // A short or missing answer leaves older bytes in the buffer: no comparison then.
        if (session.Trace().LastAnswerComplete() && session.Protocol().ReceiveBuffer()[0] == kAck) {
            const std::span<const std::uint8_t> release(&session.Image()[block], kBlockSize);
            if (const auto at = FirstDifference(session.Protocol(), block, release)) {
                reason = "the block read back differs from the release at " + HexAddress(*at);
            }
        }
        return session.Fail("verify", "check of program memory", block, reason);
    }
    if (console.DataMemoryFailed())
        return session.Fail("data", "writing data memory", block, reason);
    return session.Fail("write", "writing program memory", block, reason);
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
