#pragma once
// The update's progress on a terminal: a bar per stage redrawn in place, or plain lines (every
// tenth of a stage) when the output goes to a file or a pipe; nothing with no output (--quiet),
// though the stages' outcomes are still kept.
#include <cstdint>
#include <cstdio>

#include "core/update_view.h"

namespace ostrel::cli {

class ConsoleView final : public UpdateView {
  public:
    ConsoleView(std::FILE* out, bool terminal, bool keepUserSettings)
        : out_(out), terminal_(terminal), keepUser_(keepUserSettings) {}

    void SetIndicatorVisible(Indicator indicator, bool visible) override;
    void SetProgressPosition(ProgressBar bar, std::uint32_t position) override;
    void SetButtonEnabled(WizardButton, bool) override {}
    void ProcessPendingEvents() override {
        if (out_ != nullptr) std::fflush(out_);
    }
    bool IsKeepUserSelected() override { return keepUser_; }

    bool VerifyFailed() const { return verifyFailed_; }
    // The write line failed after the check had passed: the data memory stage.
    bool DataMemoryFailed() const { return writeFailed_ && verifyPassed_; }

  private:
    // Ends a bar's line in place with the stage's outcome.
    void EndStage(const char* title, const char* outcome);
    void Print(const char* text);

    std::FILE* out_;
    bool terminal_;
    bool keepUser_;
    bool barOpen_ = false;  // a bar is drawn and its line not yet ended
    ProgressBar currentBar_ = ProgressBar::BarWrite;
    std::uint32_t lastPrinted_ = 0;  // plain output: the last tenth printed, plus one
    bool verifyPassed_ = false;
    bool verifyFailed_ = false;
    bool writeFailed_ = false;
};

}  // namespace ostrel::cli
