// The tracker's data memory (0x1000-0x13FF, the owner's settings first) saved to a file before
// an update or on its own, and written back from such a file.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/modes/modes.h"
#include "cli/report/run_messages.h"
#include "cli/system/atomic_file.h"
#include "cli/system/console_output.h"
#include "cli/system/interruption.h"
#include "cli/system/program_files.h"
#include "core/data_memory.h"
#include "device/sleep_inhibitor.h"

namespace ostrel::cli {
namespace {

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

Existing BackupExisting(const FlashOptions& options) {
    return options.overwriteBackup ? Existing::Replace : Existing::Refuse;
}

// The reason the backup cannot be saved, with what to do about a file that exists.
std::string BackupFailure(const std::string& file, const std::string& why) {
    std::string reason = "cannot save the data memory to " + file + ": " + why;
    if (why == DescribeRefusal({FileRefusal::Exists, {}})) {
        reason += ": give another name to keep both, or add --overwrite-backup to replace it";
    }
    return reason;
}

// A file that stops the run before the tracker is touched: said as the session says things.
RunResult FailedOnFile(FlashSession& session, UpdateStage stage, const std::string& reason) {
    session.Tell("ostrel-flash: " + reason + "; nothing was written into the tracker");
    return Failed(kExitFileFailed, stage, reason);
}

}  // namespace

std::optional<RunResult> CheckBackupFile(FlashSession& session) {
    const FlashOptions& options = session.Options();
    if (options.backupFile.empty()) return std::nullopt;
    const FileTarget target = CheckFileTarget(options.backupFile, BackupExisting(options));
    if (target.refusal == FileRefusal::None) return std::nullopt;
    return FailedOnFile(session, UpdateStage::Backup,
                        BackupFailure(options.backupFile, DescribeRefusal(target)));
}

std::optional<RunResult> SaveDataMemory(FlashSession& session) {
    const std::string& file = session.Options().backupFile;
    DataMemory memory{};
    NoUpdateEvents unshown;  // the console shows no bar for the data memory's eight blocks
    const UpdateOutcome read = ReadDataMemory(session.Protocol(), memory, unshown);
    if (read.reason == UpdateFailure::ReadsDiffer) {
        return session.Fail(UpdateStage::Backup, "reading data memory", read.block,
                            "two reads of the data memory differ at " +
                                HexAddress(*read.differsAt) +
                                ": the line is unreliable; nothing was saved");
    }
    if (!read.Succeeded()) {
        return session.Fail(UpdateStage::Backup,
                            read.secondRead ? "reading data memory again" : "reading data memory",
                            read.block, DescribeExchange(read.step));
    }
    std::string error;
    if (!WriteFileAtomically(file, memory, BackupExisting(session.Options()), error)) {
        if (InterruptionRequested()) {
            return session.Interrupted(UpdateStage::Backup, std::nullopt,
                                       "interrupted while saving the data memory to " + file +
                                           ": nothing was written into the tracker.");
        }
        return FailedOnFile(session, UpdateStage::Backup, BackupFailure(file, error));
    }
    session.Say("Data memory 0x1000-0x13FF saved to " + file);
    return std::nullopt;
}

RunResult BackupTracker(FlashSession& session) {
    if (std::optional<RunResult> refused = CheckBackupFile(session)) return *refused;
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
                UpdateStage::Restore, std::nullopt,
                "interrupted while reading " + file + ": nothing was written into the tracker.");
        }
        return FailedOnFile(session, UpdateStage::Restore, error);
    }
    if (std::optional<RunResult> refused = CheckBackupFile(session)) return *refused;
    if (std::optional<RunResult> failed = session.Connect()) return *failed;
    if (!session.Options().backupFile.empty()) {
        if (std::optional<RunResult> failed = SaveDataMemory(session)) return *failed;
    }
    NoUpdateEvents unshown;
    const std::unique_ptr<SleepInhibitor> awake = InhibitSleep();
    const UpdateOutcome written = WriteDataMemory(session.Protocol(), saved, unshown);
    if (written.reason == UpdateFailure::ReadBackDiffers) {
        return session.Fail(UpdateStage::Check, "reading data memory back", written.block,
                            "the data memory read back differs from " + file + " at " +
                                HexAddress(*written.differsAt));
    }
    if (!written.Succeeded()) {
        return session.Fail(written.stage,
                            written.stage == UpdateStage::Check ? "reading data memory back"
                                                                : "writing data memory",
                            written.block, DescribeExchange(written.step));
    }
    session.Say("Data memory 0x1000-0x13FF restored from " + file + " and read back");
    return RunResult{};
}

}  // namespace ostrel::cli
