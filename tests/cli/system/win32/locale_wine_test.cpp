// Under a Russian locale (ANSI code page 1251): the system's messages reach the user as UTF-8,
// and file names outside that code page (Greek) work from the command line to the disk.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "cli/flash_options.h"
#include "cli/system/atomic_file.h"
#include "device/serial_port.h"
#include "device/win32/wide_text.h"
#include "tests/windows/support/flash_process.h"
#include "tests/windows/support/registry_ports.h"
#include "tests/windows/support/wine_peer.h"

namespace ostrel {
namespace {

std::string Scratch(const std::string& name) {
    return test::WindowsPath(std::string(OSTREL_TEST_SCRATCH_DIR) + "/" + name);
}

TEST(Win32RussianLocale, SystemMessagesReadBackIntact) {
    ASSERT_EQ(GetACP(), 1251u) << "the test runs under ru_RU.UTF-8 (LOCPATH, LC_ALL)";
    EXPECT_EQ(win32::SystemMessage(ERROR_ACCESS_DENIED), "Доступ запрещён");
    // Through a failing call of the program's own.
    auto port = MakeSerialPort();
    EXPECT_FALSE(port->OpenPort("COM199"));
    EXPECT_EQ(port->LastOpenReport().systemText, "Файл не найден");
}

// The path goes to the program as the wide command line Windows keeps for it.
TEST(Win32RussianLocale, BacksUpToAPathInCyrillicAndGreek) {
    test::WinePeer peer;
    ASSERT_TRUE(peer.Connected());
    ASSERT_FALSE(peer.MapSimulator(134, "--fast").empty());
    const std::string backup = Scratch("резерв-αντίγραφο.bin");
    DeleteFileW(test::Wide(backup).c_str());

    const test::Finished run =
        test::RunFlash("--port COM134 --backup-only --backup \"" + backup + "\"");
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(cli::kExitSuccess)) << run.output;
    WIN32_FILE_ATTRIBUTE_DATA saved{};
    ASSERT_TRUE(GetFileAttributesExW(test::Wide(backup).c_str(), GetFileExInfoStandard, &saved))
        << run.output;
    EXPECT_EQ(saved.nFileSizeLow, 1024u);
    DeleteFileW(test::Wide(backup).c_str());
}

// The device records' names are read as UTF-16 and written out as UTF-8, whatever the ANSI
// code page: the on-board port's Russian name reaches the listing letter for letter.
TEST(Win32RussianLocale, ListsAPortsRussianNameIntact) {
    const test::RegistryPorts registry({.onBoardPort = true, .russianNames = true});
    ASSERT_TRUE(registry.Entered());
    const test::Finished run = test::RunFlash("--list");
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(cli::kExitSuccess)) << run.output;
    EXPECT_NE(run.output.find("COM1  Последовательный порт (COM1)\r\n"), std::string::npos)
        << run.output;
}

}  // namespace
}  // namespace ostrel
