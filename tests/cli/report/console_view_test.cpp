// The update's display on a console: the bar fits the terminal's width, so a redraw never wraps
// and leaves a line behind, and the stages' outcomes come as the events say.
#include "cli/report/console_view.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/system/console_output.h"

namespace ostrel::cli {
namespace {

std::string Shown(int columns, bool terminal) {
    std::FILE* out = std::tmpfile();
    ConsoleView view(out, terminal, columns);
    for (UpdateStage stage : {UpdateStage::Write, UpdateStage::Verify}) {
        view.StageBegun(stage, 232);
        for (std::uint32_t done = 1; done <= 232; ++done) view.Progress(stage, done, 232);
        view.StageEnded(stage, stage == UpdateStage::Write);
    }
    std::string text(static_cast<std::size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    return text;
}

TEST(ConsoleView, TheBarFitsTheTerminalAndEachStageEndsOnItsOwnLine) {
    for (int columns : {30, 80, 200}) {
        SCOPED_TRACE(columns);
        const std::string text = Shown(columns, true);
        std::size_t start = 0;
        int lines = 0;
        for (std::size_t at = 0; at <= text.size(); ++at) {
            if (at < text.size() && text[at] != '\r' && text[at] != '\n') continue;
            ASSERT_LT(TextColumns(std::string_view(text).substr(start, at - start)), columns);
            if (at < text.size() && text[at] == '\n') ++lines;
            start = at + 1;
        }
        EXPECT_EQ(lines, 2);  // the two outcomes, each ending its bar's line
        EXPECT_NE(text.find("ЗАГРУЗКА: ОК"), std::string::npos);
        EXPECT_NE(text.find("ПРОВЕРКА: ОШИБКА!!!"), std::string::npos);
    }
    // Elsewhere: a line each tenth of a stage, then the outcome.
    const std::string plain = Shown(30, false);
    EXPECT_EQ(plain.find('\r'), std::string::npos);
    EXPECT_NE(plain.find("ЗАГРУЗКА: 0%\nЗАГРУЗКА: 10%\n"), std::string::npos);
    EXPECT_NE(plain.find("ЗАГРУЗКА: 100%\nЗАГРУЗКА: ОК\n"), std::string::npos);
}

}  // namespace
}  // namespace ostrel::cli
