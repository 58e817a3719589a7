// The tracker's data memory (0x1000-0x13FF, the owner's settings first) saved to a file before
// an update or on its own, and written back from such a file.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/modes/modes.h"
#include "cli/report/run_messages.h"
#include "cli/system/atomic_file.h"
#include "cli/system/console_output.h"
#include "cli/system/interruption.h"
#include "cli/system/program_files.h"
#include "device/sleep_inhibitor.h"

namespace ostrel::cli {
namespace {

using DataMemory = std::array<std::uint8_t, kDataSize>;

std::optional<RunResult> ReadDataMemory(FlashSession& session, DataMemory& memory,
                                        const char* stage, const char* words) {
    for (std::uint32_t offset = 0; offset < kDataSize; offset += kBlockSize) {
        if (!session.Protocol().ReadBlock(kDataStart + offset)) {
            return session.Fail(stage, words, kDataStart + offset,
                                DescribeExchange(session.Protocol().LastExchange()));
        }
        const auto& received = session.Protocol().ReceiveBuffer();
        std::copy_n(received.begin() + 1, kBlockSize, memory.begin() + offset);
    }
    return std::nullopt;
}

// The saved data memory, which must be exactly its 1,024 bytes of a regular file: a folder
// would read as empty, and a pipe or a device would keep the run waiting for bytes.
bool LoadDataMemory(const std::string& file, DataMemory& memory, std::string& error) {
    const FileKind kind = KindOf(file);
    if (kind == FileKind::Directory || kind == FileKind::Other) {
        error =
            file + " is not a saved data memory: it is " +
            (kind == FileKind::Directory ? "a folder" : "not a regular file (a pipe or a device)");
        return false;
    }
    std::FILE* in = OpenFile(file, "rb");
    if (in == nullptr) {
        error = "cannot read " + file + ": " + std::strerror(errno);
        return false;
    }
    const std::size_t got = std::fread(memory.data(), 1, memory.size(), in);
    const bool longer = got == memory.size() && std::fgetc(in) != EOF;
    std::fclose(in);
    if (got != memory.size() || longer) {
        error = file + " is not a saved data memory: it holds " +
                (longer ? "more than 1024" : std::to_string(got)) +
                " bytes, a saved data memory exactly 1024";
        return false;
    }
    return true;
}

}  // namespace

std::optional<RunResult> SaveDataMemory(FlashSession& session) {
    const std::string& file = session.Options().backupFile;
    // One glitched byte on the line would go into the owner's only copy: it is read twice, and
    // saved only when both reads agree.
    DataMemory memory{};
    DataMemory again{};
    if (auto failed = ReadDataMemory(session, memory, "backup", "reading data memory")) {
        return failed;
    }
    if (auto failed = ReadDataMemory(session, again, "backup", "reading data memory again")) {
        return failed;
    }
    const auto [first, second] = std::mismatch(memory.begin(), memory.end(), again.begin());
    if (first != memory.end()) {
        const auto at = static_cast<std::uint32_t>(first - memory.begin());
        return session.Fail(
            "backup", "reading data memory", kDataStart + at / kBlockSize * kBlockSize,
            "two reads of the data memory differ at " + HexAddress(kDataStart + at) +
                ": the line is unreliable; nothing was saved");
    }
    std::string error;
    if (!WriteFileAtomically(file, memory, error)) {
        if (InterruptionRequested()) {
            return session.Interrupted("backup", std::nullopt,
                                       "interrupted while saving the data memory to " + file +
                                           ": nothing was written into the tracker.");
        }
        const std::string reason = "cannot save the data memory to " + file + ": " + error;
        PrintText(stderr, "ostrel-flash: %s; nothing was written into the tracker\n",
                  reason.c_str());
        return Failed(kExitFileFailed, "backup", reason);
    }
    session.Say("Data memory 0x1000-0x13FF saved to " + file);
    return std::nullopt;
}

RunResult BackupTracker(FlashSession& session) {
    if (std::optional<RunResult> failed = session.Connect()) return *failed;
    if (std::optional<RunResult> failed = SaveDataMemory(session)) return *failed;
    return RunResult{};
}

RunResult RestoreTracker(FlashSession& session) {
    const std::string& file = session.Options().restoreFile;
    DataMemory saved{};
    std::string error;
    if (!LoadDataMemory(file, saved, error)) {
        if (InterruptionRequested()) {
            return session.Interrupted(
                "restore", std::nullopt,
                "interrupted while reading " + file + ": nothing was written into the tracker.");
        }
        PrintText(stderr, "ostrel-flash: %s; nothing was written into the tracker\n",
                  error.c_str());
        return Failed(kExitFileFailed, "restore", error);
    }
    if (std::optional<RunResult> failed = session.Connect()) return *failed;
    if (!session.Options().backupFile.empty()) {
        if (std::optional<RunResult> failed = SaveDataMemory(session)) return *failed;
    }
    BootloaderProtocol& protocol = session.Protocol();
    const std::unique_ptr<SleepInhibitor> awake = InhibitSleep();
    for (std::uint32_t offset = 0; offset < kDataSize; offset += kBlockSize) {
        const std::span<const std::uint8_t, kBlockSize> block(&saved[offset], kBlockSize);
        if (!protocol.WriteBlock(kDataStart + offset, block)) {
            return session.Fail("restore", "writing data memory", kDataStart + offset,
                                DescribeExchange(session.Protocol().LastExchange()));
        }
    }
    DataMemory back{};
    if (auto failed = ReadDataMemory(session, back, "check", "reading data memory back")) {
        return *failed;
    }
    for (std::uint32_t i = 0; i < kDataSize; ++i) {
        if (back[i] == saved[i]) continue;
        const std::uint32_t block = kDataStart + i / kBlockSize * kBlockSize;
        return session.Fail(
            "check", "reading data memory back", block,
            "the data memory read back differs from " + file + " at " + HexAddress(kDataStart + i));
    }
    session.Say("Data memory 0x1000-0x13FF restored from " + file + " and read back");
    return RunResult{};
}

}  // namespace ostrel::cli
