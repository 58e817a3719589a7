#include "cli/console_view.h"

namespace ostrel::cli {
namespace {

constexpr const char* kWriteTitle = "ЗАГРУЗКА:";
constexpr const char* kVerifyTitle = "ПРОВЕРКА:";
constexpr const char* kOk = "ОК";
constexpr const char* kError = "ОШИБКА!!!";
constexpr int kBarWidth = 40;

}  // namespace

void ConsoleView::Print(const char* text) {
    if (out_ != nullptr) std::fputs(text, out_);
}

void ConsoleView::EndStage(const char* title, const char* outcome) {
    if (out_ == nullptr) return;
    if (barOpen_ && terminal_) std::fputs("\r\033[K", out_);
    barOpen_ = false;
    std::fprintf(out_, "%s %s\n", title, outcome);
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
        std::fprintf(out_, "\r%s [%.*s%*s] %3u%%", title, filled,
                     "########################################", kBarWidth - filled, "", position);
        barOpen_ = true;
    } else if (position / 10 + 1 > lastPrinted_) {
        lastPrinted_ = position / 10 + 1;
        std::fprintf(out_, "%s %u%%\n", title, position);
    }
}

}  // namespace ostrel::cli
