#include "cli/station/journal.h"

#include <chrono>
#include <cstdio>
#include <optional>

#include "cli/report/run_messages.h"
#include "cli/system/atomic_file.h"
#include "cli/system/program_files.h"
#include "payload/release_identity.h"

namespace ostrel::cli {
namespace {

// An update replaces the owner's settings with the release's once it writes the data memory,
// unless asked to keep them; the other modes leave them as they are, or restore a saved copy.
std::string SettingsWord(const RunResult& result, const JournalRun& run) {
    if (run.mode != FlashMode::Update) return "";
    const bool dataWritten = result.Succeeded() || result.exitCode == kExitRecordIncomplete ||
                             result.stage == UpdateStage::Data;
    return run.keepUserSettings || !dataWritten ? "kept" : "replaced";
}

// The first line of `path` without its line end; empty for an empty file, nullopt when it
// cannot be read.
std::optional<std::string> FirstLineOf(const std::string& path) {
    std::FILE* in = OpenFile(path, "rb");
    if (in == nullptr) return std::nullopt;
    std::string line;
    for (int c; line.size() < 1024 && (c = std::fgetc(in)) != EOF && c != '\n';) {
        line += static_cast<char>(c);
    }
    std::fclose(in);
    if (line.ends_with('\r')) line.pop_back();
    return line;
}

// How many columns the journal whose header is `header` has: today's, or the first twelve of
// an earlier journal; 0 when it is no journal of ours.
std::size_t ColumnsOf(const std::string& header) {
    std::string names;
    for (std::size_t i = 0; i < std::size(kJournalColumns); ++i) {
        if (i > 0) names += ',';
        names += kJournalColumns[i];
        if (header == names && i + 1 >= kFirstJournalColumns) return i + 1;
    }
    return 0;
}

std::unique_ptr<AppendOnlyFile> OpenJournalFile(const std::string& path, std::size_t& columns,
                                                std::string& error) {
    std::string why = DescribeRefusal(CheckFileTarget(path, Existing::Append));
    columns = std::size(kJournalColumns);
    if (why.empty() && KindOf(path) == FileKind::Regular) {
        const std::optional<std::string> header = FirstLineOf(path);
        if (header && !header->empty()) columns = ColumnsOf(*header);
        if (header && columns == 0) {
            why =
                "it exists and is not a journal of ostrel-flash; it is left as it is: name a new "
                "file, or an earlier journal to write on at its end";
        }
    }
    std::unique_ptr<AppendOnlyFile> file;
    if (why.empty()) file = AppendOnlyFile::Open(path, JournalHeader(), why);
    if (file == nullptr) error = "cannot write the journal " + path + ": " + why;
    return file;
}

// "bay 1-2 (/dev/ttyUSB1, `more`)", or "/dev/ttyUSB0 (`more`)" off a bench.
std::string TrackerNamed(const RunResult& result, const std::string& more = "") {
    const std::string port = result.port.empty() ? "no port" : result.port;
    std::string aside = result.bay.empty() ? "" : port;
    if (!more.empty()) aside += (aside.empty() ? "" : ", ") + more;
    return (result.bay.empty() ? port : "bay " + result.bay) +
           (aside.empty() ? "" : " (" + aside + ")");
}

}  // namespace

std::string JournalHeader() {
    std::string header;
    for (const char* name : kJournalColumns) {
        if (!header.empty()) header += ',';
        header += name;
    }
    return header + "\r\n";
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string JournalLine(const std::string& timeUtc, const RunResult& result, const JournalRun& run,
                        const std::string& adapterSerial, std::size_t columns) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", result.seconds);
    const std::string fields[] = {
        timeUtc,
        result.bay,
        result.port,
        adapterSerial,
        WordsFor(run.mode).name,
        ReleaseLabel(),
        kReleaseIdentity.flashSha256,
        OutcomeName(result.outcome),
        result.stage && !result.Succeeded() ? StageName(*result.stage) : "",
        result.block && !result.Succeeded() ? HexAddress(*result.block) : "",
        seconds,
        result.reason,
        result.address ? HexAddress(*result.address) : "",
        !run.traced              ? ""
        : result.traceIncomplete ? "incomplete"
                                 : "complete",
        SettingsWord(result, run),
        run.host,
    };
    static_assert(std::size(fields) == std::size(kJournalColumns));
    std::string line;
    for (std::size_t i = 0; i < columns && i < std::size(fields); ++i) {
        if (i > 0) line += ',';
        line += CsvField(fields[i]);
    }
    return line + "\r\n";
}

std::string AdapterSerialOn(PortDirectory& directory, const std::string& port) {
    for (const AdapterPort& adapter : directory.FindBridgePorts()) {
        if (adapter.port == port) return adapter.serial;
    }
    return {};
}

std::string UtcTimeNow() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date(day);
    const hh_mm_ss time(now - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

std::unique_ptr<Journal> Journal::Open(const std::string& path, JournalRun run,
                                       std::string& error) {
    std::size_t columns = 0;
    std::unique_ptr<AppendOnlyFile> file = OpenJournalFile(path, columns, error);
    if (file == nullptr) return nullptr;
    return std::unique_ptr<Journal>(new Journal(std::move(file), columns, path, std::move(run)));
}

Journal::Row Journal::Record(const RunResult& result, const std::string& adapterSerial) {
    std::lock_guard lock(mutex_);
    Row row;
    if (file_ == nullptr || !file_->IsAt(path_)) {
        const bool gone = KindOf(path_) == FileKind::Missing;
        file_ = OpenJournalFile(path_, columns_, row.error);
        if (file_ != nullptr) {
            row.notice = "the journal " + path_ + (gone ? " was removed" : " was replaced") +
                         " while this run went on: the row of " + TrackerNamed(result) +
                         " and those after it go to the file now at that name";
        }
    }
    std::string why;
    row.written =
        file_ != nullptr &&
        file_->Append(JournalLine(UtcTimeNow(), result, run_, adapterSerial, columns_), why);
    if (file_ != nullptr && !row.written) {
        row.error = "cannot write the journal " + path_ + ": " + why;
    }
    if (!row.written) {
        row.error = "no journal row for " +
                    TrackerNamed(result, std::string("result=") + OutcomeName(result.outcome)) +
                    ": " + row.error;
    }
    return row;
}

}  // namespace ostrel::cli
