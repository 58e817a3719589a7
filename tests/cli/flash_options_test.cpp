#include "cli/flash_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
             {"--overwrite-backup"},
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

}  // namespace
}  // namespace ostrel::cli
