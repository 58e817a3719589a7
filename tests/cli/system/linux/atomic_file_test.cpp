// The owner's files: one file by any path, and a write that replaces a file whole or not at all.
#include "cli/system/atomic_file.h"

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

namespace ostrel::cli {
namespace {

// A scratch folder with a saved file, another one, and links to the first.
class OwnersFiles : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ostrel-files.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        std::ofstream(Path("saved.bin")) << "saved";
        std::ofstream(Path("other.bin")) << "other";
        ASSERT_EQ(link(Path("saved.bin").c_str(), Path("hard.bin").c_str()), 0);
        ASSERT_EQ(symlink(Path("saved.bin").c_str(), Path("soft.bin").c_str()), 0);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir_;
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
    for (const char* name : {"fifo", "to-null", "folder"}) {
        std::string error;
        EXPECT_FALSE(WriteFileAtomically(Path(name), bytes_, error)) << name;
        EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    }
    EXPECT_EQ(KindOf(Path("fifo")), FileKind::Other);
    EXPECT_EQ(KindOf(Path("folder")), FileKind::Directory);
    EXPECT_TRUE(std::filesystem::is_symlink(Path("to-null")));

    // Through a link the file it leads to is replaced, and the link stays.
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(Path("soft.bin"), bytes_, error)) << error;
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
        _exit(WriteFileAtomically(Path("other.bin"), bytes_, failure) ? 1 : 0);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0) << "the write should have failed";
    EXPECT_EQ(std::filesystem::file_size(Path("other.bin")), 5u);
    EXPECT_EQ(Entries().size(), 7u) << "a temporary file was left behind";
}

}  // namespace
}  // namespace ostrel::cli
