#include "cli/report/console_view.h"

#include <algorithm>
#include <string>

#include "cli/system/console_output.h"

namespace ostrel::cli {
namespace {

constexpr const char* kWriteTitle = "ЗАГРУЗКА:";
constexpr const char* kVerifyTitle = "ПРОВЕРКА:";
constexpr const char* kOk = "ОК";
constexpr const char* kError = "ОШИБКА!!!";
constexpr int kWidestBar = 40;
constexpr const char* kFill = "########################################";

// The data memory is part of the load: its outcome shows on the write line, as in the window.
const char* TitleOf(UpdateStage stage) {
    return stage == UpdateStage::Verify ? kVerifyTitle : kWriteTitle;
}

}  // namespace

void ConsoleView::StageBegun(UpdateStage stage, std::uint32_t) {
    lastPrinted_ = 0;
    if (stage != UpdateStage::Data) ShowBar(TitleOf(stage), 0);
}

void ConsoleView::Progress(UpdateStage stage, std::uint32_t done, std::uint32_t total) {
    if (stage == UpdateStage::Data || total == 0) return;
    ShowBar(TitleOf(stage), done * 100 / total);
}

void ConsoleView::StageEnded(UpdateStage stage, bool ok) {
    // The data memory's success is the update's, told by the closing note.
    if (stage == UpdateStage::Data && ok) return;
    EndStage(TitleOf(stage), ok ? kOk : kError);
}

void ConsoleView::ShowBar(const char* title, std::uint32_t position) {
    if (out_ == nullptr) return;
    if (terminal_) {
        // "TITLE [####    ] 100%" within the line, one column spare: a line that reaches the
        // last column wraps on some terminals and leaves a new line at every redraw.
        const int fixed = TextColumns(title) + 8;
        const int width = std::clamp(columns_ - 1 - fixed, 0, kWidestBar);
        const int filled = static_cast<int>(position) * width / 100;
        PrintText(out_, "\r%s [%.*s%*s] %3u%%", title, filled, kFill, width - filled, "", position);
        barOpen_ = true;
        barColumns_ = fixed + width;
    } else if (position / 10 + 1 > lastPrinted_) {
        lastPrinted_ = position / 10 + 1;
        PrintText(out_, "%s %u%%\n", title, position);
    }
    std::fflush(out_);
}

void ConsoleView::EndStage(const char* title, const char* outcome) {
    if (out_ == nullptr) return;
    const std::string line = std::string(title) + " " + outcome;
    if (barOpen_ && terminal_) {
        // Back to the start of the bar's line, and blanks over what the outcome leaves of the
        // bar: no escape sequence, which not every console takes.
        PrintText(out_, "\r%s%*s\n", line.c_str(), std::max(0, barColumns_ - TextColumns(line)),
                  "");
    } else {
        PrintText(out_, "%s\n", line.c_str());
    }
    barOpen_ = false;
    std::fflush(out_);
}

void ConsoleView::SayOutcome(bool succeeded) {
    if (out_ == nullptr) return;
    PutText(out_, succeeded ? "Обновление успешно завершено! \n"
                            : "В случае ошибки, повторите \n"
                              "процедуру заново. Если ошибка не \n"
                              "пропадает, обратитесь к поставщику.\n");
    std::fflush(out_);
}

void ConsoleView::Silence() {
    if (out_ != nullptr && barOpen_ && terminal_) PutText(out_, "\n");  // end a bar's line
    out_ = nullptr;
}

}  // namespace ostrel::cli
