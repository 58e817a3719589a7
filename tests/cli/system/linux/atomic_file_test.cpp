// The owner's files: one file by any path, and a write that replaces a file whole or not at all.
#include "cli/system/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace ostrel::cli {
namespace {

// A scratch folder with a saved file, another one, and links to the first.
class OwnersFiles : public testing::Test {
  protected:
    void SetUp() override {
        std::ofstream(Path("saved.bin")) << "saved";
        std::ofstream(Path("other.bin")) << "other";
        ASSERT_EQ(link(Path("saved.bin").c_str(), Path("hard.bin").c_str()), 0);
        ASSERT_EQ(symlink(Path("saved.bin").c_str(), Path("soft.bin").c_str()), 0);
    }
    std::string Path(const std::string& name) const { return folder_.Path(name); }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    test::ScratchFolder folder_{"ostrel-files"};
    const std::string dir_ = folder_.Dir();
    const std::array<std::uint8_t, 3> bytes_{1, 2, 3};
};

TEST_F(OwnersFiles, SameFileByAnyPathAndNeverTwoFiles) {
    struct Case {
        std::string a, b;
        bool same;
    };
    for (const Case& c : {Case{Path("saved.bin"), dir_ + "/./saved.bin", true},
                          Case{Path("saved.bin"), Path("hard.bin"), true},
                          Case{Path("soft.bin"), Path("saved.bin"), true},
                          Case{Path("saved.bin"), Path("other.bin"), false},
                          Case{Path("new.bin"), dir_ + "/./new.bin", true},
                          Case{Path("new.bin"), Path("new2.bin"), false},
                          Case{Path("new.bin"), Path("saved.bin"), false}}) {
        EXPECT_EQ(SameFile(c.a, c.b), c.same) << c.a << " " << c.b;
    }
}

TEST_F(OwnersFiles, AtomicWriteRefusesWhatIsNotARegularFileAndLeavesNoTemporary) {
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/null", Path("to-null").c_str()), 0);
    std::filesystem::create_directory(Path("folder"));
    for (const auto& [name, refusal] :
         {std::pair{"fifo", FileRefusal::NotRegular}, std::pair{"to-null", FileRefusal::SystemPath},
          std::pair{"folder", FileRefusal::Folder}}) {
        std::string error;
        EXPECT_FALSE(WriteFileAtomically(Path(name), bytes_, Existing::Replace, error)) << name;
        EXPECT_EQ(error, DescribeRefusal({refusal, {}})) << name;
    }
    EXPECT_EQ(KindOf(Path("fifo")), FileKind::Other);
    EXPECT_EQ(KindOf(Path("folder")), FileKind::Directory);
    EXPECT_TRUE(std::filesystem::is_symlink(Path("to-null")));

    // Through a link the file it leads to is replaced, and the link stays.
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(Path("soft.bin"), bytes_, Existing::Replace, error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(Path("soft.bin")));
    EXPECT_EQ(std::filesystem::file_size(Path("saved.bin")), 3u);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"fifo", "folder", "hard.bin", "other.bin",
                                                   "saved.bin", "soft.bin", "to-null"}));

    // A write that fails half-way (here: the file size limit) leaves the old file alone.
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{2, 2};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string failure;
        _exit(WriteFileAtomically(Path("other.bin"), bytes_, Existing::Replace, failure) ? 1 : 0);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0) << "the write should have failed";
    EXPECT_EQ(std::filesystem::file_size(Path("other.bin")), 5u);
    EXPECT_EQ(Entries().size(), 7u) << "a temporary file was left behind";
}

// What the user owns is never lost to a write: a name that exists is refused unless
// replacing it was asked for, a read-only file never, and nothing goes where a name in /dev or
// /proc leads, whatever file that is.
TEST_F(OwnersFiles, AWriteNeverReplacesWhatItMayNot) {
    struct Case {
        std::string path;
        Existing existing;
        FileRefusal refusal;
    };
    ASSERT_EQ(symlink("/dev/stdout", Path("to-stdout").c_str()), 0);
    ASSERT_EQ(symlink("/proc/self/fd/1", Path("to-fd").c_str()), 0);
    ASSERT_EQ(symlink(Path("gone.bin").c_str(), Path("dangling").c_str()), 0);
    std::ofstream(Path("locked.bin")) << "locked";
    ASSERT_EQ(chmod(Path("locked.bin").c_str(), 0444), 0);
    for (const Case& c : {
             Case{Path("saved.bin"), Existing::Refuse, FileRefusal::Exists},
             Case{Path("soft.bin"), Existing::Refuse, FileRefusal::Exists},
             Case{Path("locked.bin"), Existing::Replace, FileRefusal::ReadOnly},
             Case{Path("locked.bin"), Existing::Append, FileRefusal::ReadOnly},
             Case{"/dev/stdout", Existing::Replace, FileRefusal::SystemPath},
             Case{"/dev/fd/1", Existing::Replace, FileRefusal::SystemPath},
             Case{"/proc/self/fd/1", Existing::Append, FileRefusal::SystemPath},
             Case{"/dev/null-ttyUSB0", Existing::Refuse, FileRefusal::SystemPath},
             Case{Path("to-stdout"), Existing::Replace, FileRefusal::SystemPath},
             Case{Path("to-fd"), Existing::Replace, FileRefusal::SystemPath},
             Case{Path("dangling"), Existing::Replace, FileRefusal::Dangling},
             Case{Path("missing/new.bin"), Existing::Refuse, FileRefusal::FolderMissing},
         }) {
        const FileTarget target = CheckFileTarget(c.path, c.existing);
        EXPECT_EQ(target.refusal, c.refusal) << c.path;
        std::string error;
        EXPECT_FALSE(WriteFileAtomically(c.path, bytes_, c.existing, error)) << c.path;
        EXPECT_EQ(error, DescribeRefusal(target)) << c.path;
    }
    EXPECT_NE(DescribeRefusal(CheckFileTarget(Path("dangling"), Existing::Refuse))
                  .find("points nowhere (to " + Path("gone.bin") + ")"),
              std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(Path("saved.bin")), 5u);
    EXPECT_EQ(std::filesystem::file_size(Path("locked.bin")), 6u);
    EXPECT_FALSE(std::filesystem::exists(Path("gone.bin")));

    // Asked for, an existing file is replaced; a new name needs no leave.
    std::string error;
    EXPECT_TRUE(WriteFileAtomically(Path("other.bin"), bytes_, Existing::Replace, error)) << error;
    EXPECT_EQ(std::filesystem::file_size(Path("other.bin")), 3u);
    // A name at the system's limit leaves room for the temporary file beside it.
    const std::string longest(255, 'b');
    EXPECT_TRUE(WriteFileAtomically(Path(longest), bytes_, Existing::Refuse, error)) << error;
    EXPECT_EQ(std::filesystem::file_size(Path(longest)), 3u);
    EXPECT_EQ(Entries().size(), 9u) << "a temporary file was left behind";
}

// A writable file in a folder that cannot be written cannot be replaced: the folder is named.
// Checked as an ordinary user, to whom the folder's permissions apply.
TEST_F(OwnersFiles, AFolderThatCannotBeWrittenIsNamed) {
    ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
    std::filesystem::create_directory(Path("shut"));
    std::ofstream(Path("shut/open.bin")) << "open";
    ASSERT_EQ(chmod(Path("shut/open.bin").c_str(), 0666), 0);
    ASSERT_EQ(chmod(Path("shut").c_str(), 0555), 0);
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        std::string error;
        const bool refused =
            CheckFileTarget(Path("shut/open.bin"), Existing::Replace).refusal ==
                FileRefusal::FolderNotWritable &&
            !WriteFileAtomically(Path("shut/open.bin"), std::array<std::uint8_t, 1>{1},
                                 Existing::Replace, error) &&
            error.find("the folder " + Path("shut") + " cannot be written to") != std::string::npos;
        _exit(refused ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::filesystem::file_size(Path("shut/open.bin")), 4u);
    chmod(Path("shut").c_str(), 0755);
}

TEST_F(OwnersFiles, OnlyARegularFileTakesATraceAndTheEmptyDeviceIsNoFile) {
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
    std::string error;
    // Nobody reads the pipe: refused at once rather than waited on.
    EXPECT_EQ(AppendPrivateFile(Path("fifo"), error), nullptr);
    EXPECT_EQ(error, DescribeRefusal({FileRefusal::NotRegular, {}}));
    // Read, it is still no file of its own.
    const int reader = open(Path("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    error.clear();
    EXPECT_EQ(AppendPrivateFile(Path("fifo"), error), nullptr);
    EXPECT_EQ(error, DescribeRefusal({FileRefusal::NotRegular, {}}));
    close(reader);
    std::FILE* file = AppendPrivateFile(Path("saved.bin"), error);
    ASSERT_NE(file, nullptr) << error;
    std::fputs("+", file);
    std::fclose(file);
    EXPECT_EQ(std::filesystem::file_size(Path("saved.bin")), 6u) << "not written at its end";

    ASSERT_EQ(symlink("/dev/null", Path("to-null").c_str()), 0);
    EXPECT_TRUE(IsNullDevice("/dev/null"));
    EXPECT_TRUE(IsNullDevice(Path("to-null")));
    EXPECT_FALSE(IsNullDevice("/dev/zero"));
    EXPECT_FALSE(IsNullDevice(Path("saved.bin")));
    EXPECT_FALSE(IsNullDevice(""));
}

}  // namespace
}  // namespace ostrel::cli
