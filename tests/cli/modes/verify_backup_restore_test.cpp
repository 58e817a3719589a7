// ostrel-flash's modes beside the update, against ostrel-devsim --fast: what each reads, what
// it writes (nothing for verify-only and for a refused backup), and its result line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "cli/system/atomic_file.h"
#include "core/firmware_image.h"
#include "sim/bootloader_model.h"
#include "tests/support/flash_run.h"
#include "tests/support/tracker.h"

namespace ostrel {
namespace {

using cli::FileKind;
using cli::KindOf;
using test::FileText;
using test::FlashRun;
using test::FlashRunner;

// A shipped tracker's memory, as ostrel-devsim starts with it, or with the release in it.
std::string ShippedMemory(bool withRelease = false) {
    sim::BootloaderModel model;
    if (withRelease) test::LoadRelease(model);
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
        std::string memory = ShippedMemory(true);
        if (c.changed) memory[*c.changed] = static_cast<char>(memory[*c.changed] ^ 0x01);
        FlashRunner runner;
        WriteFile(runner.Path("loaded.bin"), memory);
        const FlashRun run = runner.Run({"--load", runner.Path("loaded.bin")}, {"--verify-only"});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_NE(run.out.find(c.resultLine), std::string::npos) << run.out;
        EXPECT_EQ(run.blockWrites, 0);
        EXPECT_TRUE(run.memory == memory);
        EXPECT_EQ(test::HoldsRelease(run.memory), !c.changed);
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

    // Replaced on purpose: the backup now holds the updated tracker's data memory.
    const FlashRun again = runner.Run({"--load", runner.Path("updated.bin")},
                                      {"--backup", backup, "--backup-only", "--overwrite-backup"});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(FileText(backup), Range(update.memory, kDataStart, kDataSize));
}

TEST(FlashBackup, AFileThatCannotBeWrittenOrReadStopsTheRunBeforeAnyWrite) {
    FlashRunner runner;
    const std::string saved(kDataSize, '\x5A');
    WriteFile(runner.Path("short.bin"), std::string(kDataSize - 1, '\0'));
    WriteFile(runner.Path("long.bin"), std::string(kDataSize + 1, '\0'));
    WriteFile(runner.Path("owner.bin"), saved);
    ASSERT_EQ(mkfifo(runner.Path("fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(runner.Path("folder"));
    WriteFile(runner.Path("locked.bin"), saved);
    ASSERT_EQ(chmod(runner.Path("locked.bin").c_str(), 0444), 0);
    ASSERT_EQ(symlink("gone.bin", runner.Path("dangling").c_str()), 0);
    struct Case {
        std::vector<std::string> devsimArgs;
        std::vector<std::string> flashArgs;
        int exitCode;
        const char* resultLine;  // or, for a usage error, what stderr says
        std::string stderrHas;
    };
    for (const Case& c : {
             Case{{},
                  {"--backup", runner.Path("missing/data.bin")},
                  6,
                  "result=failed stage=backup ",
                  "the folder " + runner.Path("missing") + " does not exist"},
             // Nothing the user owns is replaced, emptied or written over by a file of ours.
             Case{{},
                  {"--backup", runner.Path("owner.bin")},
                  6,
                  "result=failed stage=backup ",
                  "it exists; it is left as it is: give another name to keep both, or add "
                  "--overwrite-backup to replace it"},
             Case{{},
                  {"--backup", runner.Path("locked.bin"), "--overwrite-backup"},
                  6,
                  "result=failed stage=backup ",
                  "it is read-only"},
             Case{{},
                  {"--backup", "/dev/stdout"},
                  6,
                  "result=failed stage=backup ",
                  "/dev or /proc"},
             Case{{}, {"--trace", "/dev/stdout"}, 6, "result=failed stage=trace ", "/dev or /proc"},
             Case{{},
                  {"--backup", runner.Path("dangling")},
                  6,
                  "result=failed stage=backup ",
                  "a symbolic link that points nowhere"},
             Case{{},
                  {"--trace", runner.Path("owner.bin")},
                  6,
                  "result=failed stage=trace ",
                  "it exists and is not a trace of ostrel-flash; it is left as it is"},
             Case{{},
                  {"--trace", runner.Path("fifo")},
                  6,
                  "result=failed stage=trace ",
                  "not a regular file"},
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
    EXPECT_EQ(FileText(runner.Path("locked.bin")), saved);
    EXPECT_FALSE(std::filesystem::exists(runner.Path("gone.bin")));
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
    // It begins with its heading, and the last exchange is written before the port is closed;
    // the result line ends it, so that the trace alone tells how the run ended.
    EXPECT_TRUE(FileText(runner.Path("trace.txt")).starts_with("ostrel-flash trace: release "));
    EXPECT_NE(previous.find(" close /dev/pts/"), std::string::npos) << previous;
    EXPECT_TRUE(last.starts_with("result=ok port=/dev/pts/")) << last;
    EXPECT_NE(last.find(" release="), std::string::npos) << last;

    // A second run writes on at its end, under a heading of its own.
    const std::string first = FileText(runner.Path("trace.txt"));
    const FlashRun verify = runner.Run({}, {"--verify-only", "--trace", runner.Path("trace.txt")});
    EXPECT_EQ(verify.exitCode, 5) << verify.err;
    const std::string both = FileText(runner.Path("trace.txt"));
    EXPECT_TRUE(both.starts_with(first));
    EXPECT_EQ(both.find("ostrel-flash trace: ", first.size()), first.size());
    EXPECT_TRUE(both.ends_with(verify.out.substr(verify.out.rfind("result=")))) << both;
}

// A trace cut short (here by the file size limit, as by a full disk) takes nothing from what
// the run did: the result line says what the tracker holds, and apart that the trace is
// incomplete; the exit code is neither success nor one that says nothing was written.
TEST(FlashTrace, AnIncompleteTraceIsReportedApartFromWhatTheTrackerHolds) {
    FlashRunner runner;
    WriteFile(runner.Path("saved.bin"), std::string(kDataSize, '\x5A'));
    WriteFile(runner.Path("updated.bin"), ShippedMemory(true));
    // 4 KiB for each file the updater writes; past that a write fails as on a full disk.
    runner.RunThrough({"/bin/sh", "-c", "ulimit -f 8; trap '' XFSZ; exec \"$@\"", "sh"});
    for (const std::vector<std::string>& mode : std::vector<std::vector<std::string>>{
             {}, {"--verify-only"}, {"--restore", runner.Path("saved.bin")}}) {
        const std::string name = mode.empty() ? "update" : mode[0];
        std::vector<std::string> args = mode;
        args.insert(args.end(), {"--trace", runner.Path(name + ".txt")});
        // The update from a shipped tracker; the others with the release in it.
        const FlashRun run = runner.Run(
            mode.empty() ? std::vector<std::string>{}
                         : std::vector<std::string>{"--load", runner.Path("updated.bin")},
            args);
        EXPECT_EQ(run.exitCode, 7) << name << "\n" << run.err;
        EXPECT_TRUE(run.out.ends_with(" trace=incomplete\n")) << name << "\n" << run.out;
        EXPECT_NE(run.out.find("result=ok port=/dev/pts/"), std::string::npos) << name << run.out;
        EXPECT_NE(run.err.find("the trace " + runner.Path(name + ".txt") + " is incomplete"),
                  std::string::npos)
            << name << "\n"
            << run.err;
        EXPECT_EQ(run.err.find("nothing was written"), std::string::npos) << name << run.err;
        EXPECT_TRUE(test::HoldsRelease(run.memory)) << name;
    }
}

}  // namespace
}  // namespace ostrel
