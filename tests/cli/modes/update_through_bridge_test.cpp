// ostrel-flash without --port, end to end: it must find the simulated CP210x bridge through udev
// and update the simulated tracker behind it. Both programs run as they would for a person.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/firmware_image.h"
#include "sim/bootloader_model.h"
#include "tests/support/child_process.h"
#include "tests/support/tracker.h"

namespace ostrel {
namespace {

struct FlashRun {
    int exitCode = -1;
    std::string memory;  // the tracker's address space at the end
    std::string output;  // what ostrel-flash printed
};

FlashRun FlashThroughBridge(const std::vector<std::string>& bridgeArgs,
                            const std::vector<std::string>& flashArgs = {}) {
    const test::ScratchFolder dir("ostrel-bridge-test");
    std::vector<std::string> args = {"--fast", "--save-memory", dir.Path("memory.bin")};
    args.insert(args.end(), bridgeArgs.begin(), bridgeArgs.end());
    args.insert(args.end(), {"--", OSTREL_FLASH});
    args.insert(args.end(), flashArgs.begin(), flashArgs.end());
    test::ChildProcess harness(OSTREL_BRIDGESIM, args, dir.Path("out.txt"));
    FlashRun run;
    run.exitCode = harness.Wait();
    run.memory = test::FileText(dir.Path("memory.bin"));
    run.output = test::FileText(dir.Path("out.txt"));
    return run;
}

TEST(FlashThroughBridge, FindsTheAdapterByItselfAndUpdatesTheTracker) {
    const FlashRun run = FlashThroughBridge({});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(test::HoldsRelease(run.memory));
    EXPECT_EQ(run.memory.substr(kDataStart, kDataSize),
              std::string(std::begin(DataBlock), std::end(DataBlock)));
}

TEST(FlashThroughBridge, ListShowsTheAdaptersPortMarked) {
    const FlashRun run = FlashThroughBridge({}, {"--list"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find("/dev/ttyUSB0  Silicon Labs CP210x UART Bridge (ttyUSB0)  <- "
                              "programming adapter (CP210x, USB 10c4:ea60)\n"),
              std::string::npos)
        << run.output;
}

TEST(FlashThroughBridge, WithTheAdapterPulledOutReportsNotConnectedAndWritesNothing) {
    const FlashRun run = FlashThroughBridge({"--unplugged"});
    EXPECT_EQ(run.exitCode, 3);
    const sim::BootloaderModel shipped;
    EXPECT_EQ(run.memory, std::string(shipped.Memory().begin(), shipped.Memory().end()));
}

// Ctrl-C at the terminal reaches the harness and the program alike (one process group); a
// signal sent to the harness alone is passed on. Either way the program finishes the block in
// flight, stops, and the run ends with the program's exit code, 4, not the harness's 130.
TEST(FlashThroughBridge, CtrlCEndsWithTheProgramsExitCode) {
    for (const bool atTerminal : {true, false}) {
        int terminal = -1;
        const pid_t harness = forkpty(&terminal, nullptr, nullptr, nullptr);
        if (harness == 0) {
            execl(OSTREL_BRIDGESIM, OSTREL_BRIDGESIM, "--", OSTREL_FLASH, nullptr);
            _exit(127);
        }
        ASSERT_GT(harness, 0);
        // At the real line's pace the update is still writing when the request comes.
        std::string seen;
        char chunk[256];
        while (seen.find("ЗАГРУЗКА: [") == std::string::npos) {
            const ssize_t got = read(terminal, chunk, sizeof chunk);
            ASSERT_GT(got, 0) << seen;
            seen.append(chunk, static_cast<std::size_t>(got));
        }
        if (atTerminal) {
            ASSERT_EQ(write(terminal, "\x03", 1), 1);  // the terminal's interrupt character
        } else {
            kill(harness, SIGTERM);
        }
        while (read(terminal, chunk, sizeof chunk) > 0) {
        }
        int status = 0;
        waitpid(harness, &status, 0);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), 4)
            << (atTerminal ? "Ctrl-C at the terminal" : "SIGTERM to the harness");
        close(terminal);
    }
}

}  // namespace
}  // namespace ostrel
