// The console's line redraw on Windows: the console the program writes to is asked to take the
// cursor sequences; a file is no terminal and gets plain lines. Runs on a console of its own.
#include "cli/system/console_output.h"

#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

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

// ostrel-flash switches the console it shares with this test to cursor control for its bay
// lines (two ports that do not exist end it at once), and gives the console back as it found
// it when it ends, for the shell that runs in it next.
TEST(Win32Console, TheUpdaterGivesTheConsoleBackAsItFoundIt) {
    HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD before = 0;
    ASSERT_TRUE(GetConsoleMode(console, &before)) << "the test runs without a console";
    before &= ~DWORD{ENABLE_VIRTUAL_TERMINAL_PROCESSING};
    ASSERT_TRUE(SetConsoleMode(console, before));

    wchar_t self[MAX_PATH];
    std::wstring program(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    program = program.substr(0, program.find_last_of(L'\\') + 1) + L"ostrel-flash.exe";
    std::wstring command = L"\"" + program + L"\" --port COM248 --port COM249";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);

    DWORD after = 0;
    ASSERT_TRUE(GetConsoleMode(console, &after));
    EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace ostrel::cli
