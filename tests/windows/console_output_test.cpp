// The console's line redraw on Windows: the console the program writes to is asked to take the
// cursor sequences; a file is no terminal and gets plain lines. Runs on a console of its own.
#include "cli/system/console_output.h"

#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

namespace ostrel::cli {
namespace {

TEST(Win32Console, CursorControlIsSwitchedOnInAConsoleAndRefusedForAFile) {
    HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    ASSERT_TRUE(GetConsoleMode(console, &mode)) << "the test runs without a console";
    ASSERT_TRUE(SetConsoleMode(console, mode & ~DWORD{ENABLE_VIRTUAL_TERMINAL_PROCESSING}));
    EXPECT_TRUE(EnableCursorControl(stdout));
    ASSERT_TRUE(GetConsoleMode(console, &mode));
    EXPECT_NE(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING, 0u) << "the console processes them";

    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(EnableCursorControl(file));
    std::fclose(file);
}

}  // namespace
}  // namespace ostrel::cli
