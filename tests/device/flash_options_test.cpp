#include "cli/flash_options.h"

#include <gtest/gtest.h>

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

TEST(ParseFlashOptions, RefusesMissingValuesUnknownArgumentsAndConflictingModes) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--port"},
                                               {"--port="},
                                               {"--keep"},
                                               {"/dev/ttyUSB0"},
                                               {"--trace"},
                                               {"--backup-only"},
                                               {"--verify-only", "--restore", "a.bin"},
                                               {"--verify-only", "--backup", "a.bin"},
                                               {"--keep-user-settings", "--restore", "a.bin"},
                                               {"--repeat", "--backup", "a.bin"}}) {
        FlashOptions o;
        std::string error;
        EXPECT_FALSE(ParseFlashOptions(args, o, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace ostrel::cli
