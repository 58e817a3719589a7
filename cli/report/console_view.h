#pragma once
// The update's progress on a terminal: a bar per stage redrawn in place and fitted to the
// terminal's width, or plain lines (every tenth of a stage) when the output goes to a file or a
// pipe; nothing with no output (--quiet). Once silenced (the run was stopped on request), the
// refused exchange's failure shows nowhere: the stop is reported instead.
#include <cstdint>
#include <cstdio>

#include "core/update_events.h"

namespace ostrel::cli {

class ConsoleView final : public UpdateEvents {
  public:
    // `columns` is the terminal's width; only a terminal's output is redrawn in place.
    ConsoleView(std::FILE* out, bool terminal, int columns = 80)
        : out_(out), terminal_(terminal), columns_(columns) {}

    void StageBegun(UpdateStage stage, std::uint32_t total) override;
    void Progress(UpdateStage stage, std::uint32_t done, std::uint32_t total) override;
    void StageEnded(UpdateStage stage, bool ok) override;

    // The closing note of the update, as the window's page 4 shows it.
    void SayOutcome(bool succeeded);
    // From now on nothing is printed; a bar's line in progress is ended.
    void Silence();

  private:
    void ShowBar(const char* title, std::uint32_t position);
    // Ends a bar's line in place with the stage's outcome.
    void EndStage(const char* title, const char* outcome);

    std::FILE* out_;
    bool terminal_;
    int columns_;
    bool barOpen_ = false;           // a bar is drawn and its line not yet ended
    int barColumns_ = 0;             // the width of that bar's line
    std::uint32_t lastPrinted_ = 0;  // plain output: the last tenth printed, plus one
};

}  // namespace ostrel::cli
