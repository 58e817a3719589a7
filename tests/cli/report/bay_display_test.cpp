#include "cli/report/bay_display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace ostrel::cli {
namespace {

// Everything a display wrote, after `show` drove it.
template <typename Show>
std::string Shown(BayDisplayStyle style, int width, Show show) {
    std::FILE* file = std::tmpfile();
    {
        BayDisplay display(file, style, width);
        show(display);
    }
    std::string text(static_cast<std::size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);
    return text;
}

void TwoBays(BayDisplay& d) {
    d.Progress("1-1", "/dev/ttyUSB0", "write", 5, 75);
    d.Progress("1-2", "/dev/ttyUSB1", "write", 7, 74);
    d.Progress("1-1", "/dev/ttyUSB0", "write", 8, 73);
    RunResult failed =
        Failed(kExitUpdateFailed, UpdateStage::Verify, "no answer to the address frame", 0x8E80);
    failed.port = "/dev/ttyUSB1";
    d.Result("1-2", failed);
    d.Summary("updated", 0, 1);
}

TEST(BayDisplay, TerminalRedrawsOneFittedLinePerBayUnderTheResults) {
    const std::string shown = Shown(BayDisplayStyle::Terminal, 45, TwoBays);
    // After the first drawing of two bays, each redraw starts two lines up.
    EXPECT_NE(shown.find("\x1b[2A"), std::string::npos);
    const std::string last = shown.substr(shown.rfind("\x1b[2A"));
    const std::size_t result = last.find(
        "result=failed stage=verify block=0x8E80 port=/dev/ttyUSB1 "
        "bay=1-2 release=");
    ASSERT_NE(result, std::string::npos) << last;
    const std::size_t bay1 = last.find("\r\x1b[Kbay 1-1      /dev/ttyUSB0  write      8%  1:");
    const std::size_t bay2 = last.find("\r\x1b[Kbay 1-2      /dev/ttyUSB1  waiting");
    EXPECT_LT(result, bay1);
    EXPECT_LT(bay1, bay2);
    // Fitted: no bay's line runs to the last column, where a terminal would wrap it.
    for (std::size_t at = 0; (at = last.find("\r\x1b[Kbay ", at)) != std::string::npos; ++at) {
        EXPECT_EQ(last.find('\n', at) - at - 4, 44u) << last.substr(at);
    }
    EXPECT_NE(last.find("\r\x1b[Kbay 1-2      /dev/ttyUSB1  waiting"), std::string::npos);
}

TEST(BayDisplay, ElsewherePlainLinesByBayAndQuietOnlyResultsAndSummary) {
    const std::string plain = Shown(BayDisplayStyle::Lines, 0, TwoBays);
    EXPECT_EQ(plain.find("\x1b"), std::string::npos);
    EXPECT_EQ(plain.find("bay 1-1: /dev/ttyUSB0 write 5%\nbay 1-2: /dev/ttyUSB1 write 7%\n"
                         "result=failed"),
              0u)
        << plain;  // 8 % is in the tenth already printed
    EXPECT_TRUE(plain.ends_with("\nsummary updated=0 failed=1\n")) << plain;

    const std::string quiet = Shown(BayDisplayStyle::Quiet, 0, TwoBays);
    EXPECT_TRUE(quiet.starts_with("result=failed stage=verify")) << quiet;
    EXPECT_EQ(std::count(quiet.begin(), quiet.end(), '\n'), 2);
}

}  // namespace
}  // namespace ostrel::cli
