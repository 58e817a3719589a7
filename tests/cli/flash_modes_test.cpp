// ostrel-flash's modes beside the update, against ostrel-devsim --fast: what each reads, what
// it writes (nothing for verify-only and for a refused backup), and its result line.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "core/firmware_image.h"
#include "sim/bootloader_model.h"
#include "tests/cli/flash_run.h"

namespace ostrel {
namespace {

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

    WriteFile(runner.Path("updated.bin"), update.memory);
    const FlashRun restore =
        runner.Run({"--load", runner.Path("updated.bin")}, {"--restore", backup});
    EXPECT_EQ(restore.exitCode, 0) << restore.err;
    EXPECT_NE(restore.out.find("result=ok port="), std::string::npos) << restore.out;
    EXPECT_EQ(restore.blockWrites, 8);
    EXPECT_EQ(Range(restore.memory, kDataStart, kDataSize), Range(shipped, kDataStart, kDataSize));
    EXPECT_EQ(Range(restore.memory, kFlashStart, kFlashSize),
              Range(update.memory, kFlashStart, kFlashSize));
}

TEST(FlashBackup, AFileThatCannotBeWrittenOrReadStopsTheRunBeforeAnyWrite) {
    FlashRunner runner;
    WriteFile(runner.Path("short.bin"), std::string(kDataSize - 1, '\0'));
    struct Case {
        std::vector<std::string> args;
        const char* resultLine;
    };
    for (const Case& c :
         {Case{{"--backup", runner.Path("missing/data.bin")}, "result=failed stage=backup "},
          Case{{"--restore", runner.Path("short.bin")}, "result=failed stage=restore "}}) {
        const FlashRun run = runner.Run({}, c.args);
        EXPECT_EQ(run.exitCode, 6) << c.args[0];
        EXPECT_NE(run.out.find(c.resultLine), std::string::npos) << run.out;
        EXPECT_EQ(run.blockWrites, 0) << c.args[0];
        EXPECT_TRUE(run.memory == ShippedMemory()) << c.args[0];
    }
}

TEST(FlashTrace, HoldsEveryExchangeWithItsBytesEachWayAndItsOutcome) {
    FlashRunner runner;
    const FlashRun run = runner.Run({}, {"--trace", runner.Path("trace.txt")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::ifstream trace(runner.Path("trace.txt"));
    int syncs = 0, gets = 0, writes = 0, reads = 0;
    std::string firstWrite;
    for (std::string line; std::getline(trace, line);) {
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
}

}  // namespace
}  // namespace ostrel
