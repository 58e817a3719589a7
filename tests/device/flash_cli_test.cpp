// ostrel-flash end to end against ostrel-devsim --fast, as separate programs over a pty.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>

#include "core/firmware_image.h"
#include "sim/bootloader_model.h"
#include "tests/device/flash_run.h"

namespace ostrel {
namespace {

using test::ChildProcess;
using test::FileText;

struct FlashCase {
    const char* name;
    std::vector<std::string> devsimArgs;
    std::vector<std::string> flashArgs;
    int exitCode;
    std::vector<std::string> stdoutHas;
    bool ownerSettingsKept;
    std::vector<std::string> stderrHas = {};
};
void PrintTo(const FlashCase& c, std::ostream* os) {
    *os << c.name;
}

class FlashCli : public testing::TestWithParam<FlashCase> {};

TEST_P(FlashCli, ExitCodeMessagesAndTrackerMemory) {
    const FlashCase& c = GetParam();
    auto image = std::make_unique<FirmwareImage>();
    BuildFirmwareImage(*image);
    test::FlashRunner runner;
    const test::FlashRun run = runner.Run(c.devsimArgs, c.flashArgs);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    for (const std::string& text : c.stdoutHas) {
        EXPECT_NE(run.out.find(text), std::string::npos) << run.out;
    }
    for (const std::string& text : c.stderrHas) {
        EXPECT_NE(run.err.find(text), std::string::npos) << run.err;
    }
    // Whatever happened, the last line is the result line; --quiet prints nothing else.
    const std::size_t lastLine = run.out.rfind('\n', run.out.size() - 2) + 1;
    EXPECT_EQ(run.out.compare(lastLine, 7, "result="), 0) << run.out;
    if (c.flashArgs == std::vector<std::string>{"--quiet"}) {
        EXPECT_EQ(lastLine, 0u) << run.out;
    }
    if (c.exitCode != 0) return;
    ASSERT_EQ(run.memory.size(), kImageSize);
    for (std::uint32_t a = kDataStart; a < kImageSize; ++a) {
        if (a >= kDataStart + kDataSize && a < kFlashStart) continue;
        const bool owners = c.ownerSettingsKept && a < kUserSettingsEnd;
        const std::uint8_t expected =
            owners ? sim::BootloaderModel::OwnerSettingsByte(a) : (*image)[a];
        ASSERT_EQ(static_cast<std::uint8_t>(run.memory[a]), expected) << std::hex << "at 0x" << a;
    }
}

const std::string kSuccess = "Обновление успешно завершено! \n";

INSTANTIATE_TEST_SUITE_P(
    Runs, FlashCli,
    testing::Values(
        FlashCase{"success",
                  {},
                  {},
                  0,
                  {"ЗАГРУЗКА: ОК", "ПРОВЕРКА: ОК", kSuccess, "result=ok port=/dev/pts/",
                   " release=v2.2.5-R27 seconds="},
                  false},
        FlashCase{"keep_user_settings", {}, {"--keep-user-settings"}, 0, {kSuccess}, true},
        FlashCase{"quiet", {}, {"--quiet"}, 0, {"result=ok port="}, false},
        FlashCase{"nack_in_verify",
                  {"--fault", "nack:read:address@0x9000"},
                  {},
                  1,
                  {"ЗАГРУЗКА: ОК", "ПРОВЕРКА: ОШИБКА!!!",
                   "Failed in check of program memory, block 0x9000: the address frame "
                   "answered with 0x1F (NACK)\n",
                   "result=failed stage=verify block=0x9000 port=/dev/pts/",
                   " reason=the address frame answered with 0x1F (NACK)\n"},
                  false,
                  {"Last exchanges", "read 0x8F80 (", "read 0x9000 (",
                   "sent 11 EE | 00 00 90 00 90; received 79 | 1F; the address frame answered "
                   "with 0x1F (NACK)\n"}},
        FlashCase{"wrong_byte_in_verify",
                  {"--fault", "wrong-byte=5:read:data@0x8C80"},
                  {},
                  1,
                  {"ПРОВЕРКА: ОШИБКА!!!",
                   "block 0x8C80: the block read back differs from the release at 0x8C85\n"},
                  false},
        FlashCase{
            "silence_in_data_memory",
            {"--fault", "silence:write:data@0x1080"},
            {},
            1,
            {"ПРОВЕРКА: ОК", "ЗАГРУЗКА: ОШИБКА!!!",
             "Failed in writing data memory, block 0x1080: no answer to the data frame\n",
             "пропадает, обратитесь к поставщику.\n", "result=failed stage=data block=0x1080 "},
            false},
        FlashCase{"get_refused",
                  {"--fault", "nack:get:command"},
                  {},
                  3,
                  {"result=failed stage=connect port=/dev/pts/"},
                  false}),
    [](const testing::TestParamInfo<FlashCase>& param) { return param.param.name; });

TEST(FlashCliUsage, BadArgumentsAndMissingPortsHaveTheirOwnExitCodes) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* stderrHas;
    };
    for (const Case& c :
         {Case{{"--bogus"}, 2, "unknown argument"}, Case{{"--port"}, 2, "--port needs"},
          Case{{"--port", "/dev/ttyOSTREL-none"}, 3, "cannot open"}}) {
        char pattern[] = "/tmp/ostrel-flash-usage.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        const std::string err = std::string(pattern) + "/err.txt";
        ChildProcess flash(OSTREL_FLASH, c.args, "/dev/null", err);
        EXPECT_EQ(flash.Wait(), c.exitCode) << c.args[0];
        EXPECT_NE(FileText(err).find(c.stderrHas), std::string::npos) << FileText(err);
        unlink(err.c_str());
        rmdir(pattern);
    }
}

}  // namespace
}  // namespace ostrel
