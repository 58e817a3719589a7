#pragma once
// The journal: one line for every tracker a run handled, appended to a CSV file (RFC 4180,
// a header line first) that opens in a spreadsheet. Lines are on the disk as they are written,
// and stations may share one journal.
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

// "time_utc,bay,port,adapter_serial,mode,release,release_sha256,result,stage,block,seconds,reason"
// and its line end.
std::string JournalHeader();

// One field, quoted when it holds a comma, a quote or a line end (quotes doubled).
std::string CsvField(const std::string& text);

// The journal's line for `result` (ending with CRLF, as RFC 4180 has it): `timeUtc` in ISO 8601
// ("2026-12-08T00:30:05Z"), the adapter's USB serial number if known.
std::string JournalLine(const std::string& timeUtc, const RunResult& result, FlashMode mode,
                        const std::string& adapterSerial);

// The USB serial number of the adapter whose port is `port`, as `directory` finds it now; empty
// when it is gone or has none.
std::string AdapterSerialOn(PortDirectory& directory, const std::string& port);

// Now, in UTC, as the journal writes it.
std::string UtcTimeNow();

class Journal {
  public:
    // Null with the reason in `error` when `path` cannot be opened for appending.
    static std::unique_ptr<Journal> Open(const std::string& path, FlashMode mode,
                                         std::string& error);

    // Appends the tracker's line; false, with the reason in `error`, once a line could not be
    // written (then every later one is refused as well: a station takes no new tracker).
    bool Record(const RunResult& result, const std::string& adapterSerial, std::string& error);
    bool Failed() const;
    const std::string& Path() const { return path_; }

  private:
    Journal(std::unique_ptr<AppendOnlyFile> file, std::string path, FlashMode mode)
        : file_(std::move(file)), path_(std::move(path)), mode_(mode) {}

    std::unique_ptr<AppendOnlyFile> file_;
    std::string path_;
    FlashMode mode_;
    mutable std::mutex mutex_;  // bays record from their own threads
    bool failed_ = false;
};

}  // namespace ostrel::cli
