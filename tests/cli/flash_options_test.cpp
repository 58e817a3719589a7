#include "cli/flash_options.h"

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

#include "cli/report/list_ports.h"
#include "cli/report/result_line.h"
#include "cli/system/atomic_file.h"

namespace ostrel::cli {
namespace {

TEST(ParseFlashOptions, PortInBothFormsAndTheKeepFlag) {
    struct Case {
        std::vector<std::string> args;
        std::string port;
        bool keep;
    };
    for (const Case& c :
         {Case{{}, "", false}, Case{{"--port", "/dev/ttyUSB0"}, "/dev/ttyUSB0", false},
          Case{{"--keep-user-settings", "--port=/dev/pts/3"}, "/dev/pts/3", true}}) {
        FlashOptions o;
        std::string error;
        ASSERT_TRUE(ParseFlashOptions(c.args, o, error)) << error;
        EXPECT_EQ(o.port, c.port);
        EXPECT_EQ(o.keepUserSettings, c.keep);
    }
}

TEST(ParseFlashOptions, ModeFromTheFileOptions) {
    FlashOptions o;
    std::string error;
    ASSERT_TRUE(
        ParseFlashOptions({"--backup=a.bin", "--backup-only", "--trace", "t.txt"}, o, error))
        << error;
    EXPECT_EQ(o.backupFile, "a.bin");
    EXPECT_EQ(o.traceFile, "t.txt");
    EXPECT_EQ(ModeOf(o), FlashMode::BackupOnly);
}

TEST(ParseFlashOptions, BaudTakesOnlyTheBridgesRatesAndListStandsAlone) {
    struct Case {
        std::vector<std::string> args;
        std::uint32_t baud;
        bool list;
    };
    for (const Case& c : {Case{{}, 9600, false}, Case{{"--baud", "115200"}, 115200, false},
                          Case{{"--baud=230400"}, 230400, false}, Case{{"--list"}, 9600, true}}) {
        FlashOptions o;
        std::string error;
        ASSERT_TRUE(ParseFlashOptions(c.args, o, error)) << error;
        EXPECT_EQ(o.baud, c.baud);
        EXPECT_EQ(o.list, c.list);
    }
}

TEST(ParseFlashOptions, RefusesMissingValuesUnknownArgumentsAndConflictingModes) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--port"},
             {"--port="},
             {"--keep"},
             {"/dev/ttyUSB0"},
             {"--trace"},
             {"--backup-only"},
             {"--verify-only", "--restore", "a.bin"},
             {"--verify-only", "--backup", "a.bin"},
             {"--keep-user-settings", "--restore", "a.bin"},
             {"--keep-user-settings", "--verify-only"},
             {"--keep-user-settings", "--backup-only", "--backup", "a.bin"},
             {"--backup", "a.bin", "--backup", "b.bin"},
             {"--port=p", "--port=p"},
             {"--baud", "9600", "--baud=115200"},
             {"--version", "--quiet"},
             {"--port", "p", "--list"},
             {"--repeat", "--port", "p"},
             {"--restore", "a.bin", "--trace", "./a.bin"},
             {"--backup", "a.bin", "--trace", "a.bin"},
             {"--repeat", "--backup", "a.bin"},
             {"--restore", "a.bin", "--backup=a.bin"},
             {"--baud"},
             {"--baud", "9601"},
             {"--baud=115200x"},
             {"--baud", "-9600"},
             {"--baud="}}) {
        FlashOptions o;
        std::string error;
        EXPECT_FALSE(ParseFlashOptions(args, o, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

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

TEST(ResultLineText, CarriesAReasonOnlyWhenThereIsOne) {
    RunResult ok;
    ok.port = "/dev/ttyUSB0";
    EXPECT_EQ(FormatResultLine(ok).find("reason"), std::string::npos) << FormatResultLine(ok);
    const std::string failed =
        FormatResultLine(Failed(kExitFileFailed, UpdateStage::Trace, "disk full"));
    EXPECT_EQ(failed.find("result=failed stage=trace port=- "), 0u) << failed;
    EXPECT_EQ(failed.substr(failed.size() - 17), " reason=disk full");
}

// --all and several --port run a bay each; the per-tracker options go with them, the files
// that one tracker's data would go to do not (yet).
TEST(ParseFlashOptions, ManyBaysTakeThePerTrackerOptionsAndRefuseBackupAndRestore) {
    FlashOptions o;
    std::string error;
    ASSERT_TRUE(ParseFlashOptions({"--port", "COM201", "--port=COM202", "--keep-user-settings",
                                   "--baud", "115200", "--trace", "t.txt"},
                                  o, error))
        << error;
    EXPECT_EQ(o.ports, (std::vector<std::string>{"COM201", "COM202"}));
    EXPECT_TRUE(o.ManyBays());
    o = {};
    ASSERT_TRUE(ParseFlashOptions({"--all", "--verify-only", "--repeat", "--quiet"}, o, error))
        << error;
    EXPECT_TRUE(o.all && o.ManyBays());
    o = {};
    ASSERT_TRUE(ParseFlashOptions({"--port", "/dev/ttyUSB3"}, o, error)) << error;
    EXPECT_FALSE(o.ManyBays());  // one port: the single run as before

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--all", "--backup", "a.bin"},
             {"--all", "--restore", "a.bin"},
             {"--port", "COM1", "--port", "COM2", "--backup", "a.bin", "--backup-only"},
             {"--all", "--port", "COM1"}}) {
        o = {};
        EXPECT_FALSE(ParseFlashOptions(args, o, error)) << args[2];
    }
    EXPECT_NE(error.find("--all"), std::string::npos) << error;
}

// The trace of each bay goes to a file of its own with the bay in its name.
TEST(BayTraceFile, PutsTheBayBeforeTheExtension) {
    EXPECT_EQ(BayTraceFile("support.txt", "1-1.2"), "support-1-1.2.txt");
    EXPECT_EQ(BayTraceFile("logs.d/trace", "COM201"), "logs.d/trace-COM201");
    EXPECT_EQ(BayTraceFile("/tmp/t.log", "pts/3"), "/tmp/t-pts-3.log");
}

TEST(PortListingText, MarksTheAdapterAndSaysWhatToDoWhenItHasNoPort) {
    PortListing listing;
    listing.ports = {{"/dev/ttyS0", "", false},
                     {"/dev/ttyUSB0", "Silicon Labs CP210x UART Bridge (ttyUSB0)", true}};
    EXPECT_EQ(FormatPortListing(listing),
              "/dev/ttyS0    (no device name)\n"
              "/dev/ttyUSB0  Silicon Labs CP210x UART Bridge (ttyUSB0)  <- programming adapter "
              "(CP210x, USB 10c4:ea60)\n");
    listing.ports.pop_back();
    EXPECT_NE(FormatPortListing(listing).find("No programming adapter"), std::string::npos);
    listing.adaptersWithoutPort = 1;
    const std::string claimed = FormatPortListing(listing);
    EXPECT_NE(claimed.find("plugged in but has no serial port: another program has claimed it"),
              std::string::npos);
    EXPECT_NE(claimed.find("sudo apt remove brltty"), std::string::npos);
    EXPECT_EQ(FormatPortListing({}).find("No serial ports found.\n"), 0u);
}

}  // namespace
}  // namespace ostrel::cli
