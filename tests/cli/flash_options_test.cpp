#include "cli/flash_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel::cli {
namespace {

// Each option sets its own field; --all and several --port run a bay each.
TEST(ParseFlashOptions, EachOptionSetsItsField) {
    auto parsed = [](const std::vector<std::string>& args) {
        FlashOptions o;
        std::string error;
        EXPECT_TRUE(ParseFlashOptions(args, o, error)) << error;
        return o;
    };
    FlashOptions o = parsed({"--port", "COM201", "--port=COM202", "--keep-user-settings", "--baud",
                             "115200", "--trace", "t.txt", "--journal", "j.csv"});
    EXPECT_EQ(o.ports, (std::vector<std::string>{"COM201", "COM202"}));
    EXPECT_TRUE(o.port == "COM201" && o.keepUserSettings && o.ManyBays() && o.baud == 115200);
    EXPECT_EQ(o.traceFile + " " + o.journalFile, "t.txt j.csv");
    o = parsed({"--backup=a.bin", "--backup-only", "--overwrite-backup"});
    EXPECT_TRUE(o.backupFile == "a.bin" && o.overwriteBackup && ModeOf(o) == FlashMode::BackupOnly);
    o = parsed({"--all", "--verify-only", "--repeat", "--quiet"});
    EXPECT_TRUE(o.all && o.repeat && o.quiet && o.ManyBays() && ModeOf(o) == FlashMode::VerifyOnly);
    o = parsed({"--restore", "a.bin"});
    EXPECT_TRUE(o.restoreFile == "a.bin" && ModeOf(o) == FlashMode::Restore);
    o = parsed({"--list"});
    EXPECT_TRUE(o.list && o.baud == 9600);
    EXPECT_FALSE(parsed({"--port", "/dev/ttyUSB3"}).ManyBays());  // one port: the single run
}

TEST(ParseFlashOptions, RefusesBadRatesAndCombinationsThatWouldDoOtherThanAsked) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--backup-only"},
             {"--overwrite-backup"},
             {"--verify-only", "--restore", "a.bin"},
             {"--verify-only", "--backup", "a.bin"},
             {"--keep-user-settings", "--restore", "a.bin"},
             {"--keep-user-settings", "--verify-only"},
             {"--keep-user-settings", "--backup-only", "--backup", "a.bin"},
             {"--backup", "a.bin", "--backup", "b.bin"},
             {"--port=p", "--port=p"},
             {"--version", "--quiet"},
             {"--port", "p", "--list"},
             {"--repeat", "--port", "p"},
             {"--restore", "a.bin", "--trace", "./a.bin"},
             {"--backup", "a.bin", "--trace", "a.bin"},
             {"--repeat", "--backup", "a.bin"},
             {"--restore", "a.bin", "--backup=a.bin"},
             {"--baud", "9601"},
             {"--baud=115200x"},
             {"--baud", "-9600"},
             {"--all", "--backup", "a.bin"},
             {"--all", "--restore", "a.bin"},
             {"--port", "COM1", "--port", "COM2", "--backup", "a.bin", "--backup-only"},
             {"--all", "--port", "COM1"}}) {
        FlashOptions o;
        std::string error;
        EXPECT_FALSE(ParseFlashOptions(args, o, error)) << args[0];
    }
}

// The trace of each bay goes to a file of its own with the bay in its name.
TEST(BayTraceFile, PutsTheBayBeforeTheExtension) {
    EXPECT_EQ(BayTraceFile("support.txt", "1-1.2"), "support-1-1.2.txt");
    EXPECT_EQ(BayTraceFile("logs.d/trace", "COM201"), "logs.d/trace-COM201");
    EXPECT_EQ(BayTraceFile("/tmp/t.log", "pts/3"), "/tmp/t-pts-3.log");
}

}  // namespace
}  // namespace ostrel::cli
