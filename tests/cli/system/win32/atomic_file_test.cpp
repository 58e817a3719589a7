// Replacing a file whole on Windows while another program (an antivirus, an indexer) holds it.
#include "cli/system/atomic_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/windows/support/wine_peer.h"

namespace ostrel::cli {
namespace {

std::string Scratch(const std::string& name) {
    return test::WindowsPath(std::string(OSTREL_TEST_SCRATCH_DIR) + "/" + name);
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Opened for reading without letting it be deleted or renamed over, as a scanner opens it.
HANDLE Hold(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Whatever the program left beside the target.
int FilesBeside(const std::string& path) {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((path + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int count = 1;
    while (FindNextFileA(search, &found)) ++count;
    FindClose(search);
    return count;
}

const std::vector<std::uint8_t> kNew = {'n', 'e', 'w', 0, 0xFF};

TEST(Win32AtomicFile, ReplacesAFileHeldForAMomentAndLeavesOneHeldThroughoutAsItWas) {
    const std::string path = Scratch("held-backup.bin");
    std::ofstream(path, std::ios::binary) << "old";
    HANDLE holder = Hold(path);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(path, kNew, Existing::Replace, error))
        << "the holder kept it throughout";
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Contents(path), "old");
    EXPECT_EQ(FilesBeside(path), 1) << "no temporary file is left";

    // Let go while the program tries: its rename is tried again and gets through.
    std::thread release([holder] {
        Sleep(300);
        CloseHandle(holder);
    });
    error.clear();
    EXPECT_TRUE(WriteFileAtomically(path, kNew, Existing::Replace, error)) << error;
    release.join();
    EXPECT_EQ(Contents(path), std::string(kNew.begin(), kNew.end()));
    EXPECT_EQ(FilesBeside(path), 1);
    DeleteFileA(path.c_str());
}

// A name is checked before anything is written, as on Linux. (Wine makes a symbolic link a
// Unix one, which its calls follow: a link that leads nowhere cannot be shown here.)
TEST(Win32AtomicFile, ANameIsRefusedBeforeAnythingIsWritten) {
    const std::string saved = Scratch("checked.bin");
    std::ofstream(saved) << "saved";
    for (const auto& [path, existing, refusal] :
         {std::tuple{saved, Existing::Refuse, FileRefusal::Exists},
          {Scratch("missing\\new.bin"), Existing::Refuse, FileRefusal::FolderMissing},
          {saved + "\\new.bin", Existing::Replace, FileRefusal::FolderMissing},
          {std::string("nul.txt"), Existing::Replace, FileRefusal::DeviceName},
          {saved, Existing::Replace, FileRefusal::None}}) {
        const FileTarget target = CheckFileTarget(path, existing);
        EXPECT_EQ(target.refusal, refusal) << path;
        std::string error;
        EXPECT_EQ(WriteFileAtomically(path, kNew, existing, error), refusal == FileRefusal::None);
        EXPECT_EQ(error, DescribeRefusal(target)) << path;
    }
    DeleteFileA(saved.c_str());
}

}  // namespace
}  // namespace ostrel::cli
