// ostrel-flash's modes beside the update, against ostrel-devsim --fast: what each reads, what
// it writes (nothing for verify-only and for a refused backup), and its result line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "cli/system/atomic_file.h"
#include "core/firmware_image.h"
#include "sim/bootloader_model.h"
#include "tests/cli/flash_run.h"

namespace ostrel {
namespace {

using cli::FileKind;
using cli::KindOf;
using test::FileText;
using test::FlashRun;
using test::FlashRunner;

// A shipped tracker's memory, as ostrel-devsim starts with it.
std::string ShippedMemory() {
    const sim::BootloaderModel model;
    return std::string(model.Memory().begin(), model.Memory().end());
}

std::string Range(const std::string& memory, std::uint32_t first, std::uint32_t size) {
    return memory.substr(first, size);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(FlashVerifyOnly, SaysWhetherTheTrackerHoldsTheReleaseAndWritesNothing) {
    struct Case {
        std::optional<std::uint32_t> changed;  // the one byte that differs from the release
        int exitCode;
        const char* resultLine;
    };
    for (const Case& c : {Case{std::nullopt, 0, "result=ok port="},
                          Case{0xFFFF, 5, "result=differs address=0xFFFF port="}}) {
        std::string memory = ShippedMemory();
        std::copy(std::begin(FlashBlock), std::end(FlashBlock), memory.begin() + kFlashStart);
        if (c.changed) memory[*c.changed] = static_cast<char>(memory[*c.changed] ^ 0x01);
        FlashRunner runner;
        WriteFile(runner.Path("loaded.bin"), memory);
        const FlashRun run = runner.Run({"--load", runner.Path("loaded.bin")}, {"--verify-only"});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_NE(run.out.find(c.resultLine), std::string::npos) << run.out;
        EXPECT_EQ(run.blockWrites, 0);
        EXPECT_TRUE(run.memory == memory);
    }
}

TEST(FlashBackup, BackupUpdateAndRestoreGiveTheOwnersDataMemoryBack) {
    FlashRunner runner;
    const std::string shipped = ShippedMemory();
    const std::string backup = runner.Path("data.bin");
    const FlashRun update = runner.Run({}, {"--backup", backup});
    ASSERT_EQ(update.exitCode, 0) << update.err;
    EXPECT_EQ(FileText(backup), Range(shipped, kDataStart, kDataSize));
    ASSERT_EQ(update.memory.size(), kImageSize);
    EXPECT_EQ(Range(update.memory, kDataStart, kDataSize),
              std::string(std::begin(DataBlock), std::end(DataBlock)));
    // Written whole through a temporary file, which is gone.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(runner.Path("")), {}), 4);

    // With --backup, a restore saves what it is about to replace first.
    WriteFile(runner.Path("updated.bin"), update.memory);
    const FlashRun restore =
        runner.Run({"--load", runner.Path("updated.bin")},
                   {"--restore", backup, "--backup", runner.Path("before.bin")});
    EXPECT_EQ(FileText(runner.Path("before.bin")), Range(update.memory, kDataStart, kDataSize));
    EXPECT_EQ(restore.exitCode, 0) << restore.err;
    EXPECT_NE(restore.out.find("result=ok port="), std::string::npos) << restore.out;
    EXPECT_EQ(restore.blockWrites, 8);
    EXPECT_EQ(Range(restore.memory, kDataStart, kDataSize), Range(shipped, kDataStart, kDataSize));
    EXPECT_EQ(Range(restore.memory, kFlashStart, kFlashSize),
              Range(update.memory, kFlashStart, kFlashSize));
}

TEST(FlashBackup, AFileThatCannotBeWrittenOrReadStopsTheRunBeforeAnyWrite) {
    FlashRunner runner;
    const std::string saved(kDataSize, '\x5A');
    WriteFile(runner.Path("short.bin"), std::string(kDataSize - 1, '\0'));
    WriteFile(runner.Path("long.bin"), std::string(kDataSize + 1, '\0'));
    WriteFile(runner.Path("owner.bin"), saved);
    ASSERT_EQ(mkfifo(runner.Path("fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(runner.Path("folder"));
    struct Case {
        std::vector<std::string> devsimArgs;
        std::vector<std::string> flashArgs;
        int exitCode;
        const char* resultLine;  // or, for a usage error, what stderr says
        const char* stderrHas;
    };
    for (const Case& c : {
             Case{{},
                  {"--backup", runner.Path("missing/data.bin")},
                  6,
                  "result=failed stage=backup ",
                  "No such file"},
             Case{{},
                  {"--restore", runner.Path("short.bin")},
                  6,
                  "result=failed stage=restore ",
                  "it holds 1023 bytes"},
             Case{{},
                  {"--restore", runner.Path("long.bin")},
                  6,
                  "result=failed stage=restore ",
                  "more than 1024"},
             Case{{},
                  {"--restore", runner.Path("folder")},
                  6,
                  "result=failed stage=restore ",
                  "it is a folder"},
             Case{{},
                  {"--restore", runner.Path("fifo")},
                  6,
                  "result=failed stage=restore ",
                  "not a regular file"},
             Case{{},
                  {"--backup", runner.Path("fifo")},
                  6,
                  "result=failed stage=backup ",
                  "not a regular file"},
             Case{{},
                  {"--restore", runner.Path("owner.bin"), "--trace",
                   runner.Path("") + "./owner.bin"},
                  2,
                  "",
                  "--restore and --trace name the same file"},
             // One glitched byte in one of the two reads: nothing is saved.
             Case{{"--fault", "wrong-byte=0:read:data@0x1000"},
                  {"--backup", runner.Path("glitched.bin")},
                  1,
                  "result=failed stage=backup block=0x1000 ",
                  "differ at 0x1000"},
         }) {
        const FlashRun run = runner.Run(c.devsimArgs, c.flashArgs);
        const std::string name = c.flashArgs[0] + " " + c.flashArgs[1];
        EXPECT_EQ(run.exitCode, c.exitCode) << name << "\n" << run.err;
        EXPECT_NE(run.out.find(c.resultLine), std::string::npos) << name << "\n" << run.out;
        EXPECT_NE(run.err.find(c.stderrHas), std::string::npos) << name << "\n" << run.err;
        EXPECT_EQ(run.blockWrites, 0) << name;
        EXPECT_TRUE(run.memory == ShippedMemory()) << name;
    }
    EXPECT_EQ(FileText(runner.Path("owner.bin")), saved);
    EXPECT_EQ(KindOf(runner.Path("fifo")), FileKind::Other);
    EXPECT_FALSE(std::filesystem::exists(runner.Path("glitched.bin")));
}

TEST(FlashTrace, HoldsEveryExchangeWithItsBytesEachWayAndItsOutcome) {
    FlashRunner runner;
    const FlashRun run = runner.Run({}, {"--trace", runner.Path("trace.txt")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // It holds the owner's settings as read back: only the owner may read it.
    struct stat status {};
    ASSERT_EQ(stat(runner.Path("trace.txt").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    std::ifstream trace(runner.Path("trace.txt"));
    int syncs = 0, gets = 0, writes = 0, reads = 0;
    std::string firstWrite, previous, last;
    for (std::string line; std::getline(trace, line);) {
        previous = last;
        last = line;
        syncs += line.find(" sync (") != std::string::npos;
        gets += line.find(" get (") != std::string::npos;
        reads += line.find(" read 0x") != std::string::npos;
        const bool write = line.find(" write 0x") != std::string::npos;
        if (write && writes++ == 0) firstWrite = line;
    }
    EXPECT_EQ(syncs, 1);
    EXPECT_EQ(gets, 1);
    EXPECT_EQ(writes, 232 + 8);
    EXPECT_EQ(reads, 232);
    // The whole data frame: length, 128 bytes, checksum.
    char frame[16];
    std::snprintf(frame, sizeof frame, "| 7F %02X %02X", FlashBlock[0], FlashBlock[1]);
    EXPECT_NE(firstWrite.find(std::string("write 0x8C00 (")), std::string::npos) << firstWrite;
    EXPECT_NE(firstWrite.find(std::string("sent 31 CE | 00 00 8C 00 8C ") + frame),
              std::string::npos)
        << firstWrite;
    EXPECT_NE(firstWrite.find("; received 79 | 79 | 79; the data frame was acknowledged"),
              std::string::npos)
        << firstWrite;
    EXPECT_EQ(firstWrite.find("..."), std::string::npos) << firstWrite;
    // The last exchange is written before the port is closed.
    EXPECT_NE(previous.find(" write 0x1380 ("), std::string::npos) << previous;
    EXPECT_NE(last.find(" close /dev/pts/"), std::string::npos) << last;
}

TEST(FlashTrace, ATraceThatCannotBeWrittenWholeFailsEveryModeAfterTheTrackerWork) {
    FlashRunner runner;
    WriteFile(runner.Path("saved.bin"), std::string(kDataSize, '\x5A'));
    std::string updated = ShippedMemory();
    std::copy(std::begin(FlashBlock), std::end(FlashBlock), updated.begin() + kFlashStart);
    WriteFile(runner.Path("updated.bin"), updated);
    for (const std::vector<std::string>& mode : std::vector<std::vector<std::string>>{
             {}, {"--verify-only"}, {"--restore", runner.Path("saved.bin")}}) {
        std::vector<std::string> args = mode;
        args.insert(args.end(), {"--trace", "/dev/full"});
        const FlashRun run = runner.Run({"--load", runner.Path("updated.bin")}, args);
        const std::string name = mode.empty() ? "update" : mode[0];
        EXPECT_EQ(run.exitCode, 6) << name << "\n" << run.err;
        EXPECT_NE(run.out.find("result=failed stage=trace port=/dev/pts/"), std::string::npos)
            << name << "\n"
            << run.out;
        EXPECT_NE(run.err.find("the trace /dev/full could not be written whole"), std::string::npos)
            << name << "\n"
            << run.err;
    }
}

}  // namespace
}  // namespace ostrel
