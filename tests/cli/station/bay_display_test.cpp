#include "cli/station/bay_display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace ostrel::cli {
namespace {

// Everything a display wrote, stdout and stderr into one file as on a user's terminal, after
// `show` drove it; `width` is asked at each drawing, of a terminal of 40 rows.
template <typename Show>
std::string Shown(BayDisplayStyle style, const int& width, Show show) {
    std::FILE* file = std::tmpfile();
    {
        BayDisplay display(file, file, style, [&] { return TerminalSize{width, 40}; });
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
    d.Summary("summary updated=0 failed=1");
}

TEST(BayDisplay, TerminalRedrawsOneFittedLinePerBayUnderTheResults) {
    const std::string shown = Shown(BayDisplayStyle::Terminal, 45, TwoBays);
    // After the first drawing of two bays, each redraw erases two rows up, one by one.
    const std::string up2 = "\x1b[A\x1b[2K\x1b[A\x1b[2K\r";
    EXPECT_NE(shown.find(up2), std::string::npos);
    const std::string last = shown.substr(shown.rfind(up2));
    const std::size_t result = last.find(
        "result=failed stage=verify block=0x8E80 port=/dev/ttyUSB1 "
        "bay=1-2 release=");
    ASSERT_NE(result, std::string::npos) << last;
    const std::size_t bay1 = last.find("\nbay 1-1      /dev/ttyUSB0  write      8%  1:");
    const std::size_t bay2 = last.find("\nbay 1-2      /dev/ttyUSB1  pull out");
    EXPECT_LT(result, bay1);
    EXPECT_LT(bay1, bay2);
    // Fitted: no bay's line runs to the last column, where a terminal would wrap it.
    for (std::size_t at = 0; (at = last.find("\nbay ", at)) != std::string::npos; ++at) {
        EXPECT_EQ(last.find('\n', at + 1) - at - 1, 44u) << last.substr(at);
    }
    // A report that changes nothing on the lines (a block within the same percent and second)
    // draws nothing.
    const auto report = [](BayDisplay& d) { d.Progress("1-1", "/dev/ttyUSB0", "write", 5, 75); };
    EXPECT_EQ(Shown(BayDisplayStyle::Terminal, 45,
                    [&](BayDisplay& d) {
                        report(d);
                        report(d);
                    }),
              Shown(BayDisplayStyle::Terminal, 45, report));
    // Once the summary is out, the bays' lines stay as they are: a resize draws nothing over it.
    EXPECT_EQ(Shown(BayDisplayStyle::Terminal, 45,
                    [](BayDisplay& d) {
                        TwoBays(d);
                        d.Resized();
                    }),
              shown);
}

// A bay's messages scroll above the bays' lines and are never drawn over: the drawing that
// follows a message starts below it, and erases exactly the rows the bays' lines took. The
// width is asked anew, and the rows the bays' lines now take are counted at it.
TEST(BayDisplay, TerminalKeepsMessagesAboveAndFollowsTheWidth) {
    int width = 80;
    const std::string shown = Shown(BayDisplayStyle::Terminal, width, [&](BayDisplay& d) {
        d.Progress("1-1", "/dev/ttyUSB0", "write", 5, 75);
        d.Progress("1-2", "/dev/ttyUSB1", "write", 7, 74);
        d.Message("1-2", "ostrel-flash: Failed in writing program memory, block 0x9000: x");
        width = 30;
        d.Progress("1-1", "/dev/ttyUSB0", "write", 9, 70);
    });
    const std::size_t message = shown.find("bay 1-2: ostrel-flash: Failed in writing");
    ASSERT_NE(message, std::string::npos) << shown;
    const std::string row = "\x1b[A\x1b[2K";
    // Before the message: the two bays' lines erased; after it, drawn again below it.
    EXPECT_EQ(shown.substr(message - 2 * row.size() - 1), row + row + "\r" + shown.substr(message))
        << shown;
    const std::string after = shown.substr(message);
    // The terminal, narrowed, wrapped each bay's line of 59 columns into two rows.
    const std::string up4 = row + row + row + row + "\r";
    const std::size_t up = after.find(up4);
    ASSERT_NE(up, std::string::npos);
    EXPECT_NE(after.substr(0, up).find("\nbay 1-2 "), std::string::npos);
    // Two bays drawn between the message and the next erasing: the message stays above them.
    EXPECT_EQ(std::count(after.begin(), after.begin() + static_cast<long>(up), '\n'), 3);
    const std::string last = after.substr(up);
    EXPECT_EQ(last.find(row + row + row + row + row), std::string::npos);
    for (std::size_t at = 0; (at = last.find("\nbay ", at)) != std::string::npos; ++at) {
        EXPECT_EQ(last.find('\n', at + 1) - at - 1, 29u) << last.substr(at);
    }
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

    // A bay left to another station is said in every style, as its result would be.
    for (BayDisplayStyle style : {BayDisplayStyle::Lines, BayDisplayStyle::Quiet}) {
        EXPECT_EQ(Shown(style, 0,
                        [](BayDisplay& d) {
                            d.Aside("1-1", "/dev/ttyUSB0", "taken by another program");
                            d.Message("1-1", "next: re-seat the tracker");
                        }),
                  "bay 1-1: /dev/ttyUSB0 taken by another program\nbay 1-1: next: re-seat the "
                  "tracker\n");
    }
}

}  // namespace
}  // namespace ostrel::cli
