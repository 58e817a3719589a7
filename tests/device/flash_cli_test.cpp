// ostrel-flash end to end against ostrel-devsim --fast, as separate programs over a pty.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <memory>

#include "core/firmware_image.h"
#include "sim/bootloader_model.h"
#include "tests/device/child_process.h"

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
    std::string stderrHas = {};
};
void PrintTo(const FlashCase& c, std::ostream* os) {
    *os << c.name;
}

class FlashCli : public testing::TestWithParam<FlashCase> {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ostrel-flash-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        BuildFirmwareImage(*image);
    }
    void TearDown() override {
        for (const char* f : {"/memory.bin", "/out.txt", "/err.txt"}) unlink((dir + f).c_str());
        rmdir(dir.c_str());
    }

    std::string dir;
    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
};

TEST_P(FlashCli, ExitCodeMessagesAndTrackerMemory) {
    const FlashCase& c = GetParam();
    std::vector<std::string> devsimArgs{"--fast", "--dump", dir + "/memory.bin"};
    devsimArgs.insert(devsimArgs.end(), c.devsimArgs.begin(), c.devsimArgs.end());
    ChildProcess devsim(OSTREL_DEVSIM, devsimArgs);
    ASSERT_TRUE(devsim.Started());
    const std::string port = devsim.StdoutLine();
    ASSERT_FALSE(port.empty());

    std::vector<std::string> flashArgs{"--port", port};
    flashArgs.insert(flashArgs.end(), c.flashArgs.begin(), c.flashArgs.end());
    ChildProcess flash(OSTREL_FLASH, flashArgs, dir + "/out.txt", dir + "/err.txt");
    ASSERT_TRUE(flash.Started());
    EXPECT_EQ(flash.Wait(), c.exitCode) << FileText(dir + "/err.txt");
    const std::string out = FileText(dir + "/out.txt");
    for (const std::string& text : c.stdoutHas) EXPECT_NE(out.find(text), std::string::npos) << out;
    const std::string err = FileText(dir + "/err.txt");
    EXPECT_NE(err.find(c.stderrHas), std::string::npos) << err;

    // The tracker's bootloader locked onto the rate the whole session ran at.
    const auto baud = std::find(c.flashArgs.begin(), c.flashArgs.end(), "--baud");
    const std::string rate = baud != c.flashArgs.end() ? *(baud + 1) : "9600";
    devsim.Signal(SIGTERM);
    const std::string served = devsim.StdoutRest();
    EXPECT_NE(served.find("served from_host="), std::string::npos);
    EXPECT_NE(served.find(" rate=" + rate + "\n"), std::string::npos) << served;
    EXPECT_EQ(devsim.Wait(), 0);
    if (c.exitCode != 0) return;
    const std::string memory = FileText(dir + "/memory.bin");
    ASSERT_EQ(memory.size(), kImageSize);
    for (std::uint32_t a = kDataStart; a < kImageSize; ++a) {
        if (a >= kDataStart + kDataSize && a < kFlashStart) continue;
        const bool owners = c.ownerSettingsKept && a < kUserSettingsEnd;
        const std::uint8_t expected =
            owners ? sim::BootloaderModel::OwnerSettingsByte(a) : (*image)[a];
        ASSERT_EQ(static_cast<std::uint8_t>(memory[a]), expected) << std::hex << "at 0x" << a;
    }
}

const std::string kSuccess = "Обновление успешно завершено! \n";

INSTANTIATE_TEST_SUITE_P(
    Runs, FlashCli,
    testing::Values(
        FlashCase{"success", {}, {}, 0, {"ЗАГРУЗКА: ОК", "ПРОВЕРКА: ОК", kSuccess}, false},
        FlashCase{"keep_user_settings", {}, {"--keep-user-settings"}, 0, {kSuccess}, true},
        FlashCase{"at_115200", {}, {"--baud", "115200"}, 0, {kSuccess}, false},
        FlashCase{"sync_unanswered_at_115200",
                  {"--fault", "silence:sync:command"},
                  {"--baud", "115200"},
                  3,
                  {},
                  false,
                  "re-power the tracker (batteries out, then in) and try again at 9600"},
        FlashCase{"nack_in_verify",
                  {"--fault", "nack:read:address@0x9000"},
                  {},
                  1,
                  {"ЗАГРУЗКА: ОК", "ПРОВЕРКА: ОШИБКА!!!",
                   "Failed in check of program memory, block 0x9000: the address frame "
                   "answered with 0x1F (NACK)\n"},
                  false},
        FlashCase{"wrong_byte_in_verify",
                  {"--fault", "wrong-byte=5:read:data@0x8C80"},
                  {},
                  1,
                  {"ПРОВЕРКА: ОШИБКА!!!",
                   "block 0x8C80: the block read back differs from the release at 0x8C85\n"},
                  false},
        FlashCase{"silence_in_data_memory",
                  {"--fault", "silence:write:data@0x1080"},
                  {},
                  1,
                  {"ПРОВЕРКА: ОК", "ЗАГРУЗКА: ОШИБКА!!!",
                   "Failed in writing data memory, block 0x1080: no answer to the data frame\n",
                   "пропадает, обратитесь к поставщику.\n"},
                  false},
        FlashCase{"get_refused", {"--fault", "nack:get:command"}, {}, 3, {}, false}),
    [](const testing::TestParamInfo<FlashCase>& param) { return param.param.name; });

TEST(FlashCliUsage, BadArgumentsAndMissingPortsHaveTheirOwnExitCodes) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* stderrHas;
    };
    for (const Case& c :
         {Case{{"--bogus"}, 2, "unknown argument"}, Case{{"--port"}, 2, "--port needs"},
          Case{{"--baud", "14400"}, 2, "--baud takes 9600, 19200"},
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
