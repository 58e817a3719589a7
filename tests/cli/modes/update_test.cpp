// ostrel-flash end to end against ostrel-devsim --fast, as separate programs over a pty.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <memory>

#include "core/firmware_image.h"
#include "payload/release_identity.h"
#include "sim/bootloader_model.h"
#include "tests/support/flash_run.h"
#include "tests/support/tracker.h"

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
    EXPECT_EQ(run.out.find("Failed"), std::string::npos) << "errors go to stderr";
    if (c.flashArgs == std::vector<std::string>{"--quiet"}) {
        EXPECT_EQ(lastLine, 0u) << run.out;
    }

    // The tracker's bootloader locked onto the rate the whole session ran at.
    const auto baud = std::find(c.flashArgs.begin(), c.flashArgs.end(), "--baud");
    const std::string rate = baud != c.flashArgs.end() ? *(baud + 1) : "9600";
    EXPECT_NE(run.served.find(" rate=" + rate + "\n"), std::string::npos) << run.served;
    if (c.exitCode != 0) return;
    ASSERT_EQ(run.memory.size(), kImageSize);
    for (std::uint32_t a = kDataStart; a < kImageSize; ++a) {
        if (a >= kDataStart + kDataSize && a < kFlashStart) continue;
        const bool owners = c.ownerSettingsKept && a < kUserSettings.end;
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
        FlashCase{"at_115200", {}, {"--baud", "115200"}, 0, {kSuccess}, false},
        FlashCase{"sync_unanswered_at_115200",
                  {"--fault", "silence:sync:command"},
                  {"--baud", "115200"},
                  3,
                  {"result=failed stage=connect"},
                  false,
                  {"re-power the tracker (batteries out, then in) and try again at 9600",
                   "did not take the line settings 115200 8E1"}},
        FlashCase{
            "pulled_out_mid_write",
            {"--hang-up-at", "40"},
            {},
            1,
            {"result=failed stage=write block=0x9E80 ", "reason=the adapter was disconnected"},
            false,
            {"Failed in writing program memory, block 0x9E80: the adapter was "
             "disconnected"}},
        FlashCase{"sync_nack",
                  {"--fault", "nack:sync:command"},
                  {},
                  3,
                  {"result=failed stage=connect", "reason=the bootloader on /dev/pts/"},
                  false,
                  {"answered the sync with NACK (0x1F): it is inside an interrupted exchange",
                   "run again at 9600 baud"}},
        FlashCase{"nack_in_verify",
                  {"--fault", "nack:read:address@0x9000"},
                  {},
                  1,
                  {"ЗАГРУЗКА: ОК", "ПРОВЕРКА: ОШИБКА!!!",
                   "result=failed stage=verify block=0x9000 port=/dev/pts/",
                   " reason=the address frame answered with 0x1F (NACK)\n"},
                  false,
                  {"ostrel-flash: Failed in check of program memory, block 0x9000: the address "
                   "frame answered with 0x1F (NACK)\n",
                   "Last exchanges", "read 0x8F80 (", "read 0x9000 (",
                   "sent 11 EE | 00 00 90 00 90; received 79 | 1F; the address frame answered "
                   "with 0x1F (NACK)\n"}},
        FlashCase{"wrong_byte_in_verify",
                  {"--fault", "wrong-byte=5:read:data@0x8C80"},
                  {},
                  1,
                  {"ПРОВЕРКА: ОШИБКА!!!"},
                  false,
                  {"block 0x8C80: the block read back differs from the release at 0x8C85\n"}},
        FlashCase{"truncated_read_back",
                  {"--fault", "truncate=60:read:data@0x9000"},
                  {},
                  1,
                  {"ПРОВЕРКА: ОШИБКА!!!"},
                  false,
                  {"block 0x9000: only 60 of the 129 answer bytes"}},
        FlashCase{"silence_in_data_memory",
                  {"--fault", "silence:write:data@0x1080"},
                  {},
                  1,
                  {"ПРОВЕРКА: ОК", "ЗАГРУЗКА: ОШИБКА!!!", "пропадает, обратитесь к поставщику.\n",
                   "result=failed stage=data block=0x1080 "},
                  false,
                  {"Failed in writing data memory, block 0x1080: no answer to the data frame\n"}},
        FlashCase{"get_refused",
                  {"--fault", "nack:get:command"},
                  {},
                  3,
                  {"result=failed stage=connect port=/dev/pts/"},
                  false,
                  {"answered the sync but not Get"}},
        // A pty drops even parity as some USB-serial drivers do; with the sync unanswered, the
        // message names that as well as the re-powering that a stuck bootloader needs.
        FlashCase{"sync_unanswered_without_parity",
                  {"--fault", "silence:sync:command"},
                  {},
                  3,
                  {"result=failed stage=connect"},
                  false,
                  {"no bootloader answered the sync on /dev/pts/",
                   "did not take the line settings 9600 8E1", "Re-power the tracker"}}),
    [](const testing::TestParamInfo<FlashCase>& param) { return param.param.name; });

// Runs against one simulated tracker that reports each block it stores and each close of its
// port, and whose write blocks from `slowFrom` on answer 150 ms late, so an update is still
// writing when the test acts on what the tracker reported.
class FlashCliRun : public testing::Test {
  protected:
    std::string StartTracker(int slowFrom) {
        std::vector<std::string> args{"--fast", "--events", "--dump", dir.Path("memory.bin")};
        for (int block = slowFrom; block < slowFrom + 16; ++block) {
            args.insert(args.end(), {"--fault", "delay=150:write:data#" + std::to_string(block)});
        }
        devsim = std::make_unique<ChildProcess>(OSTREL_DEVSIM, args);
        return devsim->StdoutLine();
    }
    // Ends the tracker and checks that its memory holds the release.
    void ExpectTrackerHoldsTheRelease() {
        devsim->Signal(SIGTERM);
        EXPECT_EQ(devsim->Wait(), 0);
        const std::string memory = FileText(dir.Path("memory.bin"));
        EXPECT_TRUE(test::HoldsRelease(memory));
        EXPECT_EQ(memory.substr(kDataStart, kDataSize),
                  std::string(std::begin(DataBlock), std::end(DataBlock)));
    }

    test::ScratchFolder dir{"ostrel-flash-test"};
    std::unique_ptr<ChildProcess> devsim;
};

struct InterruptCase {
    const char* name;
    int signal;
    bool hangUpIgnored;  // started under nohup
    bool restore;        // a --restore rather than an update
    int exitCode;
    const char* resultLine;
    const char* stderrHas;
};
void PrintTo(const InterruptCase& c, std::ostream* os) {
    *os << c.name;
}

class FlashCliInterrupt : public FlashCliRun, public testing::WithParamInterface<InterruptCase> {};

// The stop is asked for once the tracker has stored the last block that answers at once, and
// is acted on between two blocks (before the next one or the one after, whichever the signal
// meets); the next run syncs and completes.
TEST_P(FlashCliInterrupt, StopsBetweenBlocksAndTheNextRunSucceeds) {
    const InterruptCase& c = GetParam();
    const std::string port = StartTracker(c.restore ? 3 : 26);
    ASSERT_FALSE(port.empty());
    std::vector<std::string> args{"--port", port};
    if (c.restore) {
        std::ofstream(dir.Path("saved.bin"), std::ios::binary) << std::string(kDataSize, '\x5A');
        args.insert(args.end(), {"--restore", dir.Path("saved.bin")});
    }
    {
        struct sigaction previous {};
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        if (c.hangUpIgnored) sigaction(SIGHUP, &ignore, &previous);  // inherited, as nohup does
        ChildProcess flash(OSTREL_FLASH, args, dir.Path("out.txt"), dir.Path("err.txt"));
        if (c.hangUpIgnored) sigaction(SIGHUP, &previous, nullptr);
        // The last block that answers at once: the next one is in flight for 150 ms.
        const std::string stored = c.restore ? "written 0x1080" : "written 0x9800";
        ASSERT_EQ(devsim->AwaitLine(stored), stored) << "the tracker ended before";
        flash.Signal(c.signal);
        EXPECT_EQ(flash.Wait(), c.exitCode) << FileText(dir.Path("err.txt"));
        EXPECT_NE(FileText(dir.Path("out.txt")).find(c.resultLine), std::string::npos)
            << FileText(dir.Path("out.txt"));
        EXPECT_NE(FileText(dir.Path("err.txt")).find(c.stderrHas), std::string::npos)
            << FileText(dir.Path("err.txt"));
    }
    // The tracker has seen the port closed before the next run opens it.
    ASSERT_EQ(devsim->AwaitLine("closed"), "closed");
    if (c.restore) return;
    ChildProcess again(OSTREL_FLASH, {"--port", port}, "/dev/null", dir.Path("err.txt"));
    EXPECT_EQ(again.Wait(), 0) << FileText(dir.Path("err.txt"));
    ExpectTrackerHoldsTheRelease();
}

INSTANTIATE_TEST_SUITE_P(
    Signals, FlashCliInterrupt,
    testing::Values(
        InterruptCase{"ctrl_c", SIGINT, false, false, 4, "result=interrupted stage=write block=0x9",
                      "program memory partly written: the tracker will not start until an update "
                      "completes; run the update again"},
        InterruptCase{"hang_up", SIGHUP, false, false, 4,
                      "result=interrupted stage=write block=0x9",
                      "interrupted while writing program memory, before block 0x9"},
        InterruptCase{"hang_up_under_nohup", SIGHUP, true, false, 0, "result=ok port=", ""},
        InterruptCase{"ctrl_c_in_restore", SIGINT, false, true, 4,
                      "result=interrupted stage=restore block=0x11", "data memory partly written"}),
    [](const testing::TestParamInfo<InterruptCase>& param) { return param.param.name; });

TEST_F(FlashCliRun, OutputIntoAPipeClosedEarlyDoesNotStopTheUpdate) {
    const std::string port = StartTracker(2);
    ASSERT_FALSE(port.empty());
    ChildProcess flash(OSTREL_FLASH, {"--port", port}, "", dir.Path("err.txt"));
    EXPECT_NE(flash.StdoutLine().find("Connected on"), std::string::npos);
    flash.CloseStdout();
    EXPECT_EQ(flash.Wait(), 0) << FileText(dir.Path("err.txt"));
    ExpectTrackerHoldsTheRelease();
}

// A trace goes into a file of its own or nowhere: never into the serial port (as text on the
// bootloader's line), never into a pipe nobody reads (the run would hang before connecting),
// and /dev/null is no trace, for one port or several, with no file made beside it.
TEST_F(FlashCliRun, ATraceGoesIntoAFileOfItsOwnOrNowhere) {
    const std::string port = StartTracker(2);
    ASSERT_FALSE(port.empty());
    const std::string fifo = dir.Path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& trace : {port, fifo}) {
        ChildProcess flash(OSTREL_FLASH, {"--port", port, "--trace", trace}, "",
                           dir.Path("err.txt"));
        EXPECT_TRUE(flash.StdoutLine().starts_with("result=failed stage=trace port=- ")) << trace;
        EXPECT_EQ(flash.Wait(), 6) << trace;
    }
    ChildProcess one(OSTREL_FLASH, {"--port", port, "--quiet", "--trace", "/dev/null"}, "",
                     dir.Path("err.txt"));
    EXPECT_TRUE(one.StdoutLine().starts_with("result=ok port=")) << FileText(dir.Path("err.txt"));
    EXPECT_EQ(one.Wait(), 0);
    ExpectTrackerHoldsTheRelease();
    ChildProcess two(
        OSTREL_FLASH,
        {"--port", "/dev/ttyOSTREL-a", "--port", "/dev/ttyOSTREL-b", "--trace", "/dev/null"},
        "/dev/null", dir.Path("err.txt"));
    two.Wait();  // each bay fails to connect
    for (const char* made : {"/dev/null-ttyOSTREL-a", "/dev/null-ttyOSTREL-b"}) {
        struct stat status {};
        EXPECT_NE(stat(made, &status), 0) << made;
    }
}

// TIOCEXCL does not stop root; the port lock does (these tests run as root on CI).
TEST_F(FlashCliRun, ASecondUpdaterOnTheSamePortFailsAtOnceAndTheFirstSucceeds) {
    const std::string port = StartTracker(2);
    ASSERT_FALSE(port.empty());
    ChildProcess first(OSTREL_FLASH, {"--port", port}, "", dir.Path("err.txt"));
    ASSERT_NE(first.AwaitLine("ЗАГРУЗКА: 0%"), "");
    ChildProcess second(OSTREL_FLASH, {"--port", port}, "/dev/null", dir.Path("err2.txt"));
    EXPECT_EQ(second.Wait(), 3);
    EXPECT_NE(FileText(dir.Path("err2.txt")).find("port busy: " + port), std::string::npos)
        << FileText(dir.Path("err2.txt"));
    first.StdoutRest();
    EXPECT_EQ(first.Wait(), 0) << FileText(dir.Path("err.txt"));
    ExpectTrackerHoldsTheRelease();
}

// ostrel-flash with the standard descriptor `closed` closed (none when -1) and the others on
// the null device, against a fresh simulated tracker: the exit code and the bytes the tracker
// received.
std::pair<int, std::string> RunWithDescriptorClosed(int closed, const std::string& fault) {
    std::vector<std::string> devsimArgs{"--fast"};
    if (!fault.empty()) devsimArgs.insert(devsimArgs.end(), {"--fault", fault});
    ChildProcess devsim(OSTREL_DEVSIM, devsimArgs);
    const std::string port = devsim.StdoutLine();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd <= 2; ++fd) {
        if (fd == closed) {
            posix_spawn_file_actions_addclose(&actions, fd);
        } else {
            posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd ? O_WRONLY : O_RDONLY,
                                             0);
        }
    }
    std::vector<std::string> args{OSTREL_FLASH, "--port", port};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int status = -1;
    if (posix_spawn(&pid, OSTREL_FLASH, &actions, nullptr, argv.data(), environ) == 0) {
        waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
    devsim.Signal(SIGTERM);
    const std::string served = devsim.StdoutRest();
    devsim.Wait();
    const std::size_t from = served.find("from_host=");
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            served.substr(from, served.find(' ', from) - from)};
}

// A port opened while a standard descriptor is closed would take its number and receive the
// program's text ("Connected on", the bars, a failure's message) in the bootloader's UART.
TEST(FlashCliDescriptors, AClosedStandardDescriptorNeverCarriesTextToTheTracker) {
    for (const std::string fault : {"", "nack:read:address@0x9000"}) {
        const auto [exitCode, received] = RunWithDescriptorClosed(-1, fault);
        EXPECT_EQ(exitCode, fault.empty() ? 0 : 1);
        for (int closed : {0, 1, 2}) {
            EXPECT_EQ(RunWithDescriptorClosed(closed, fault), std::make_pair(exitCode, received))
                << "descriptor " << closed << " closed, fault '" << fault << "'";
        }
    }
}

// The hash of each block as sha256sum computes it from the bytes the program carries.
std::string Sha256Of(const std::uint8_t* bytes, std::size_t size) {
    const test::ScratchFolder dir("ostrel-block");
    std::ofstream(dir.Path("block"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    ChildProcess sum("/usr/bin/sha256sum", {dir.Path("block")});
    const std::string line = sum.StdoutLine();
    sum.Wait();
    return line.substr(0, 64);
}

TEST(FlashCliUsage, VersionNamesTheReleaseAndTheHashesOfItsBlocks) {
    ChildProcess flash(OSTREL_FLASH, {"--version"});
    const std::string out = flash.StdoutRest();
    EXPECT_EQ(flash.Wait(), 0);
    EXPECT_NE(out.find("release v2.2.5 R27, 11.11.2012\n"), std::string::npos) << out;
    EXPECT_NE(out.find("program memory (29,696 bytes) SHA-256 " +
                       Sha256Of(FlashBlock, sizeof FlashBlock) + "\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("data memory (1,024 bytes) SHA-256 " +
                       Sha256Of(DataBlock, sizeof DataBlock) + "\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find(kPlaceholderMark) != std::string::npos, kReleaseIdentity.placeholder);
}

// Bad arguments, missing ports, and text that cannot be written (stdout on /dev/full) each
// end with their own exit code and say why.
TEST(FlashCliUsage, EachErrorBeforeATrackerHasItsExitCode) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* stderrHas;
        const char* stdoutTo = "/dev/null";
    };
    const test::ScratchFolder dir("ostrel-flash-usage");
    for (const Case& c :
         {Case{{"--bogus"}, 2, "unknown argument"}, Case{{"--port"}, 2, "--port needs"},
          Case{{"--baud", "14400"}, 2, "--baud takes 9600, 19200"},
          Case{{"--port", "/dev/ttyOSTREL-none"}, 3, "/dev/ttyOSTREL-none does not exist"},
          Case{{"--port", "/tmp"}, 3, "/tmp is not a serial port"},
          Case{{"--port", "/dev/null"}, 3, "/dev/null is not a serial port"},
          Case{{"--help"}, 6, "cannot write to standard output", "/dev/full"},
          Case{{"--version"}, 6, "cannot write to standard output", "/dev/full"},
          Case{{"--list"}, 6, "cannot write to standard output", "/dev/full"}}) {
        ChildProcess flash(OSTREL_FLASH, c.args, c.stdoutTo, dir.Path("err.txt"));
        EXPECT_EQ(flash.Wait(), c.exitCode) << c.args[0];
        const std::string err = FileText(dir.Path("err.txt"));
        EXPECT_NE(err.find(c.stderrHas), std::string::npos) << c.args[0] << ": " << err;
    }
}

}  // namespace
}  // namespace ostrel
