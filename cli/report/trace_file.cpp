#include "cli/report/trace_file.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "cli/flash_options.h"
#include "cli/report/exchange_trace.h"
#include "cli/system/atomic_file.h"
#include "cli/system/console_output.h"
#include "cli/system/program_files.h"

namespace ostrel::cli {
namespace {

// A file that holds nothing yet has nothing to lose either.
bool EmptyOrTrace(const std::string& path) {
    std::FILE* in = OpenFile(path, "rb");
    if (in == nullptr) return false;
    char start[sizeof kTraceHeading - 1] = {};
    const std::size_t got = std::fread(start, 1, sizeof start, in);
    std::fclose(in);
    return got == 0 || (got == sizeof start && std::memcmp(start, kTraceHeading, got) == 0);
}

RunResult TraceRefused(const std::string& path, const std::string& why) {
    return Failed(kExitFileFailed, UpdateStage::Trace,
                  "cannot write the trace to " + path + ": " + why);
}

}  // namespace

std::FILE* OpenTraceFile(const std::string& path, RunResult& failure) {
    std::string why = DescribeRefusal(CheckFileTarget(path, Existing::Append));
    if (why.empty() && KindOf(path) == FileKind::Regular && !EmptyOrTrace(path)) {
        why =
            "it exists and is not a trace of ostrel-flash; it is left as it is: name a new "
            "file, or an earlier trace to write on at its end";
    }
    std::FILE* trace = why.empty() ? AppendPrivateFile(path, why) : nullptr;
    if (trace != nullptr) {
        char now[32] = "";
        const std::time_t clock = std::time(nullptr);
        const std::tm local = LocalTime(clock);
        std::strftime(now, sizeof now, "%Y-%m-%d %H:%M:%S", &local);
        std::fprintf(trace, "%s: release %s, begun %s\n", kTraceHeading, ReleaseLabel().c_str(),
                     now);
        return trace;
    }
    failure = TraceRefused(path, why);
    return nullptr;
}

TraceFiles::~TraceFiles() {
    Close([](const std::string&) {});
}

std::string TraceFiles::PathFor(const std::string& bay) const {
    return perBay_ ? BayTraceFile(path_, bay) : path_;
}

std::optional<RunResult> TraceFiles::OpenBeforeAnyTracker(const std::vector<std::string>& bays) {
    if (path_.empty()) return std::nullopt;
    RunResult failure;
    if (!perBay_) {
        if (For("", failure) == nullptr) return failure;
        return std::nullopt;
    }
    for (const std::string& bay : bays) {
        if (For(bay, failure) == nullptr) {
            failure.bay = bay;
            return failure;
        }
    }
    if (!bays.empty()) return std::nullopt;
    // Every bay's file goes into the same folder under a name of the same kind.
    const std::string name = PathFor("bay");
    const FileTarget target = CheckFileTarget(name, Existing::Append);
    switch (target.refusal) {
        case FileRefusal::SystemPath:
        case FileRefusal::DeviceName:
        case FileRefusal::FolderMissing:
        case FileRefusal::FolderNotWritable:
            return TraceRefused(path_, DescribeRefusal(target));
        default:
            return std::nullopt;
    }
}

std::FILE* TraceFiles::For(const std::string& bay, RunResult& failure) {
    if (path_.empty()) return nullptr;
    std::lock_guard lock(mutex_);
    const auto known = files_.find(bay);
    if (known != files_.end()) return known->second;
    std::FILE* file = OpenTraceFile(PathFor(bay), failure);
    if (file != nullptr) files_[bay] = file;
    return file;
}

void TraceFiles::Close(const std::function<void(const std::string&)>& say) {
    std::lock_guard lock(mutex_);
    for (const auto& [bay, file] : files_) {
        if (std::fclose(file) != 0) {
            say("ostrel-flash: the trace " + PathFor(bay) +
                " is incomplete: " + std::strerror(errno));
        }
    }
    files_.clear();
}

}  // namespace ostrel::cli
