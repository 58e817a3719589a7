#pragma once
// The journal: one row for every tracker a run handled, appended to a CSV file (RFC 4180, a
// header line first) that opens in a spreadsheet. Rows are on the disk as they are written,
// and stations may share one journal.
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "cli/flash_options.h"
#include "cli/report/result_line.h"
#include "cli/system/append_file.h"
#include "device/port_directory.h"

namespace ostrel::cli {

// The journal --repeat keeps when none is named: in the working directory.
inline constexpr char kDefaultJournal[] = "ostrel-journal.csv";

// Every row's columns, in order. Journals begun before the last four columns came keep the
// first twelve: their rows have twelve fields.
inline constexpr const char* kJournalColumns[] = {
    "time_utc", "bay",   "port",  "adapter_serial", "mode",   "release", "release_sha256",
    "result",   "stage", "block", "seconds",        "reason", "address", "trace",
    "settings", "host"};
inline constexpr std::size_t kFirstJournalColumns = 12;

// The header line of a new journal, with its line end.
std::string JournalHeader();

// One field, quoted when it holds a comma, a quote or a line end (quotes doubled).
std::string CsvField(const std::string& text);

// What the rows of one run share.
struct JournalRun {
    FlashMode mode = FlashMode::Update;
    bool keepUserSettings = false;
    bool traced = false;  // a --trace file is kept
    std::string host;
};

// The row for `result` (ending with CRLF, as RFC 4180 has it) with its first `columns` fields:
// `timeUtc` in ISO 8601 ("2026-12-08T00:30:05Z"), the adapter's USB serial number if known.
std::string JournalLine(const std::string& timeUtc, const RunResult& result, const JournalRun& run,
                        const std::string& adapterSerial,
                        std::size_t columns = std::size(kJournalColumns));

// The USB serial number of the adapter whose port is `port`, as `directory` finds it now; empty
// when it is gone or has none.
std::string AdapterSerialOn(PortDirectory& directory, const std::string& port);

// Now, in UTC, as the journal writes it.
std::string UtcTimeNow();

class Journal {
  public:
    // Opens the journal `path` as the user's file: a new file, or a journal of ours (known by
    // its header) written on at its end. Anything else is refused and left as it is (another
    // file, a read-only one, a folder, a pipe, a device): null with the reason in `error`.
    static std::unique_ptr<Journal> Open(const std::string& path, JournalRun run,
                                         std::string& error);

    struct Row {
        bool written = false;
        std::string notice;  // the journal was replaced or removed: where the row went instead
        std::string error;   // why the row is missing
    };
    // Appends the tracker's row. A journal replaced or removed since the last row is opened
    // again at its name first, so that no row goes to a file nobody sees.
    Row Record(const RunResult& result, const std::string& adapterSerial);
    const std::string& Path() const { return path_; }

  private:
    Journal(std::unique_ptr<AppendOnlyFile> file, std::size_t columns, std::string path,
            JournalRun run)
        : file_(std::move(file)), columns_(columns), path_(std::move(path)), run_(std::move(run)) {}

    std::unique_ptr<AppendOnlyFile> file_;  // null once the name led nowhere it could write
    std::size_t columns_;
    std::string path_;
    JournalRun run_;
    std::mutex mutex_;  // bays record from their own threads
};

}  // namespace ostrel::cli
