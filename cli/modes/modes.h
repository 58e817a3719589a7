#pragma once
// What ostrel-flash can do with one tracker. Each connects, does its work and returns how it
// ended; the port is closed by FlashSession::Finish.
#include <cstdint>
#include <optional>
#include <span>

#include "cli/flash_session.h"
#include "cli/report/console_view.h"
#include "cli/report/result_line.h"

namespace ostrel::cli {

// The update, after saving the data memory when --backup asks for it.
RunResult UpdateTracker(FlashSession& session);
// --verify-only: the program memory read back and compared with the release.
RunResult VerifyTracker(FlashSession& session);
// --backup-only: the data memory saved, nothing written.
RunResult BackupTracker(FlashSession& session);
// --restore: a saved data memory written back and read back.
RunResult RestoreTracker(FlashSession& session);
// The mode the options choose.
RunResult RunMode(FlashSession& session);

// Before connecting: whether the --backup file can be saved as asked (a file that exists only
// with --overwrite-backup, and never a read-only one); when not, the result that says so.
std::optional<RunResult> CheckBackupFile(FlashSession& session);
// Reads the data memory and saves it to the --backup file; on failure, the result to report
// (the caller then writes nothing).
std::optional<RunResult> SaveDataMemory(FlashSession& session);

// The stage display on stdout: none with --quiet or in a bay, bars on a terminal, lines
// elsewhere.
ConsoleView MakeConsoleView(const FlashSession& session);
// Where the stages and their progress go: the session's bay line when it has one, else `view`.
UpdateEvents& ProgressEvents(FlashSession& session, ConsoleView& view);

}  // namespace ostrel::cli
