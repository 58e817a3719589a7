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

TEST(ParseFlashOptions, RefusesMissingPortsAndUnknownArguments) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--port"}, {"--port="}, {"--keep"}, {"/dev/ttyUSB0"}}) {
        FlashOptions o;
        std::string error;
        EXPECT_FALSE(ParseFlashOptions(args, o, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace ostrel::cli
