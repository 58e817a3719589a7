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
constexpr int kBarWidth = 40;

}  // namespace

void ConsoleView::Print(const char* text) {
    if (out_ != nullptr) PutText(out_, text);
}

void ConsoleView::EndStage(const char* title, const char* outcome) {
    if (out_ == nullptr) return;
    const std::string line = std::string(title) + " " + outcome;
    if (barOpen_ && terminal_) {
        // Back to the start of the bar's line, and blanks over what the outcome leaves of the
        // bar: no escape sequence, which not every console takes.
        const int bar = TextColumns(title) + kBarWidth + 8;
        PrintText(out_, "\r%s%*s\n", line.c_str(), std::max(0, bar - TextColumns(line)), "");
    } else {
        PrintText(out_, "%s\n", line.c_str());
    }
    barOpen_ = false;
}

void ConsoleView::SetIndicatorVisible(Indicator indicator, bool visible) {
    if (!visible) return;
    switch (indicator) {
        case Indicator::lbWriteOK:
            EndStage(kWriteTitle, kOk);
            break;
        case Indicator::lbWriteErr:
            writeFailed_ = true;
            EndStage(kWriteTitle, kError);
            break;
        case Indicator::lbVerifyOK:
            verifyPassed_ = true;
            EndStage(kVerifyTitle, kOk);
            break;
        case Indicator::lbVerifyErr:
            verifyFailed_ = true;
            EndStage(kVerifyTitle, kError);
            break;
        case Indicator::ListWriteOK:
            Print("Обновление успешно завершено! \n");
            break;
        case Indicator::ListWriteFail:
            Print(
                "В случае ошибки, повторите \n"
                "процедуру заново. Если ошибка не \n"
                "пропадает, обратитесь к поставщику.\n");
            break;
        default:
            break;
    }
    ProcessPendingEvents();
}

void ConsoleView::SetProgressPosition(ProgressBar bar, std::uint32_t position) {
    if (out_ == nullptr) return;
    const char* title = bar == ProgressBar::BarWrite ? kWriteTitle : kVerifyTitle;
    if (bar != currentBar_) {
        currentBar_ = bar;
        lastPrinted_ = 0;
    }
    if (terminal_) {
        const int filled = static_cast<int>(position) * kBarWidth / 100;
        PrintText(out_, "\r%s [%.*s%*s] %3u%%", title, filled,
                  "########################################", kBarWidth - filled, "", position);
        barOpen_ = true;
    } else if (position / 10 + 1 > lastPrinted_) {
        lastPrinted_ = position / 10 + 1;
        PrintText(out_, "%s %u%%\n", title, position);
    }
}

}  // namespace ostrel::cli
