#pragma once
// The --trace files: the exchanges of every tracker a run handles, for a support case. One file
// for one port, one per bay on a bench ("support.txt" in bay 1-2 is "support-1-2.txt"); each is
// opened once and written on by every tracker it sees.
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/report/result_line.h"

namespace ostrel::cli {

// The first words of every run's part of a trace file: a file that begins with them is a
// trace of ours, and a later run writes on at its end.
inline constexpr char kTraceHeading[] = "ostrel-flash trace";

// Opens the --trace file `path`: a new file, or a trace of ours written on at its end (no run
// empties an earlier one); anything else is refused and left as it is. It holds the owner's
// settings as read back, as a backup does: only its owner may read it. On failure, null and
// the result that reports it in `failure`.
std::FILE* OpenTraceFile(const std::string& path, RunResult& failure);

class TraceFiles {
  public:
    // `path` empty: no trace. `perBay`: a bench, whose bays each keep a file of their own.
    TraceFiles(std::string path, bool perBay) : path_(std::move(path)), perBay_(perBay) {}
    ~TraceFiles();
    TraceFiles(const TraceFiles&) = delete;
    TraceFiles& operator=(const TraceFiles&) = delete;

    // Before any tracker is touched: opens the file of one port, or of each bay in `bays`;
    // with no bays known yet (a station), checks the folder and name that every bay's file
    // will take. The result that refuses the run, when one cannot.
    std::optional<RunResult> OpenBeforeAnyTracker(const std::vector<std::string>& bays);
    // The trace of `bay` ("" for one port), opened on first use; null when none is kept, or on
    // failure with the result that reports it in `failure`.
    std::FILE* For(const std::string& bay, RunResult& failure);
    // The file that `bay`'s trace goes to, as messages name it.
    std::string PathFor(const std::string& bay) const;
    // Closes every file; says of each one that could not be written whole.
    void Close(const std::function<void(const std::string&)>& say);

  private:
    std::string path_;
    bool perBay_;
    std::mutex mutex_;
    std::map<std::string, std::FILE*> files_;
};

}  // namespace ostrel::cli
