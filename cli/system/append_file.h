#pragma once
// A file that is only ever appended to, one whole line per write, each on the disk before the
// call returns: several programs may append to one such file at once and no line is cut into
// another's. It is never truncated.
#include <cstdint>
#include <memory>
#include <string>

namespace ostrel::cli {

class AppendOnlyFile {
  public:
    // Opens `path`, creating it; `header` (a whole line) goes first into a file that is empty.
    // Only a regular file is taken (a pipe nobody reads would hold the run). Null with the
    // reason in `error` when it cannot be opened or the header not written.
    static std::unique_ptr<AppendOnlyFile> Open(const std::string& path, const std::string& header,
                                                std::string& error);
    ~AppendOnlyFile();
    AppendOnlyFile(const AppendOnlyFile&) = delete;
    AppendOnlyFile& operator=(const AppendOnlyFile&) = delete;

    // Appends `line` (ending with its newline) in one write and flushes it to the disk, on a
    // line of its own when the file ends without a newline. On Linux a line the disk took
    // only part of is taken back off the file's end.
    bool Append(const std::string& line, std::string& error);
    // Whether `path` still leads to this file: not removed, nor replaced by another (an
    // editor's save renames a new file over the old).
    bool IsAt(const std::string& path) const;

  private:
    explicit AppendOnlyFile(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;
};

// The newline `line` ends with: CRLF or LF.
std::string LineEndOf(const std::string& line);

}  // namespace ostrel::cli
