// ostrel-flash without --port, end to end: it must find the simulated CP210x bridge through udev
// and update the simulated tracker behind it. Both programs run as they would for a person.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/firmware_image.h"
#include "sim/bootloader_model.h"

extern char** environ;

namespace ostrel {
namespace {

using Memory = std::vector<std::uint8_t>;

struct FlashRun {
    int exitCode = -1;
    Memory memory;       // the tracker's address space at the end
    std::string output;  // what ostrel-flash printed
};

FlashRun FlashThroughBridge(const std::vector<std::string>& bridgeArgs,
                            const std::vector<std::string>& flashArgs = {}) {
    const std::filesystem::path base =
        std::filesystem::path(testing::TempDir()) /
        std::string(testing::UnitTest::GetInstance()->current_test_info()->name());
    const std::filesystem::path memoryFile = base.string() + ".bin";
    const std::filesystem::path outputFile = base.string() + ".out";
    std::vector<std::string> args = {OSTREL_BRIDGESIM, "--fast", "--save-memory",
                                     memoryFile.string()};
    args.insert(args.end(), bridgeArgs.begin(), bridgeArgs.end());
    args.push_back("--");
    args.push_back(OSTREL_FLASH);
    args.insert(args.end(), flashArgs.begin(), flashArgs.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    FlashRun run;
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&files);
    std::ifstream in(memoryFile, std::ios::binary);
    run.memory.assign(std::istreambuf_iterator<char>(in), {});
    std::ifstream printed(outputFile);
    run.output.assign(std::istreambuf_iterator<char>(printed), {});
    std::filesystem::remove(memoryFile);
    std::filesystem::remove(outputFile);
    return run;
}

Memory Range(const Memory& memory, std::uint32_t first, std::uint32_t size) {
    return Memory(memory.begin() + first, memory.begin() + first + size);
}

TEST(FlashThroughBridge, FindsTheAdapterByItselfAndUpdatesTheTracker) {
    const FlashRun run = FlashThroughBridge({});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(run.memory.size(), kImageSize);
    EXPECT_EQ(Range(run.memory, kFlashStart, kFlashSize),
              Memory(std::begin(FlashBlock), std::end(FlashBlock)));
    EXPECT_EQ(Range(run.memory, kDataStart, kDataSize),
              Memory(std::begin(DataBlock), std::end(DataBlock)));
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
    ASSERT_EQ(run.memory.size(), kImageSize);
    for (std::uint32_t a = kFlashStart; a <= 0xFFFF; ++a) {
        ASSERT_EQ(run.memory[a], sim::BootloaderModel::OldFirmwareByte(a)) << std::hex << a;
    }
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
