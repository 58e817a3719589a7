#include "cli/station/journal.h"

#include <chrono>
#include <cstdio>

#include "payload/release_identity.h"

namespace ostrel::cli {
namespace {

const char* ModeName(FlashMode mode) {
    switch (mode) {
        case FlashMode::Update:
            return "update";
        case FlashMode::VerifyOnly:
            return "verify";
        case FlashMode::BackupOnly:
            return "backup";
        case FlashMode::Restore:
            return "restore";
    }
    return "update";
}

}  // namespace

std::string JournalHeader() {
    return "time_utc,bay,port,adapter_serial,mode,release,release_sha256,result,stage,block,"
           "seconds,reason\r\n";
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

std::string JournalLine(const std::string& timeUtc, const RunResult& result, FlashMode mode,
                        const std::string& adapterSerial) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", result.seconds);
    const std::string fields[] = {
        timeUtc,
        result.bay,
        result.port,
        adapterSerial,
        ModeName(mode),
        ReleaseLabel(),
        kReleaseIdentity.flashSha256,
        OutcomeName(result.outcome),
        result.stage && !result.Succeeded() ? StageName(*result.stage) : "",
        result.block && !result.Succeeded() ? HexAddress(*result.block) : "",
        seconds,
        result.reason,
    };
    std::string line;
    for (std::size_t i = 0; i < std::size(fields); ++i) {
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

std::unique_ptr<Journal> Journal::Open(const std::string& path, FlashMode mode,
                                       std::string& error) {
    std::unique_ptr<AppendOnlyFile> file = AppendOnlyFile::Open(path, JournalHeader(), error);
    if (file == nullptr) {
        error = "cannot write the journal " + path + ": " + error;
        return nullptr;
    }
    return std::unique_ptr<Journal>(new Journal(std::move(file), path, mode));
}

bool Journal::Record(const RunResult& result, const std::string& adapterSerial,
                     std::string& error) {
    std::lock_guard lock(mutex_);
    if (failed_) {
        error = "the journal " + path_ + " could not be written before";
        return false;
    }
    if (file_->Append(JournalLine(UtcTimeNow(), result, mode_, adapterSerial), error)) return true;
    failed_ = true;
    error = "cannot write the journal " + path_ + ": " + error;
    return false;
}

bool Journal::Failed() const {
    std::lock_guard lock(mutex_);
    return failed_;
}

}  // namespace ostrel::cli
