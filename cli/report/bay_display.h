#pragma once
// What a bench of adapters shows while its bays run at once. On a terminal, one line per bay,
// redrawn in place and fitted to the width: bay, port, stage, percent, time left, last result;
// the result lines scroll above them. Elsewhere, plain lines prefixed by the bay. Quiet: the
// result lines and the summary only. Every bay's session reports from its own thread.
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/report/result_line.h"

namespace ostrel::cli {

enum class BayDisplayStyle { Terminal, Lines, Quiet };

class BayDisplay {
  public:
    // `width` is the terminal's, in columns; each bay's line is cut to one column less.
    BayDisplay(std::FILE* out, BayDisplayStyle style, int width);

    // The bay is working on `stage` ("connect", "write", "verify", "data", "waiting"), `percent`
    // of it done, about `secondsLeft` to go when known. A bay is shown from its first report.
    void Progress(const std::string& bay, const std::string& port, const std::string& stage,
                  unsigned percent, std::optional<int> secondsLeft);
    // The bay's tracker is left alone (`why`): no result line, the bay's last result stays.
    void Aside(const std::string& bay, const std::string& port, const std::string& why);
    // A tracker is done: its result line, with its bay, and the bay's last result.
    void Result(const std::string& bay, RunResult result);
    // "summary updated=N failed=N" ("verified" with --verify-only), below everything.
    void Summary(const char* doneWord, int done, int failed);

  private:
    struct Row {
        std::string bay;
        std::string port;
        std::string stage = "waiting";
        unsigned percent = 0;
        std::optional<int> secondsLeft;
        std::string lastResult = "-";
        unsigned printedTenth = 0;  // plain lines: the last tenth printed, plus one
    };
    Row& RowOf(const std::string& bay);
    std::string RowText(const Row& row) const;
    // Terminal: the result lines that came since, then every bay's line, over the last drawing.
    void Redraw(const std::vector<std::string>& newLines);

    std::FILE* out_;
    BayDisplayStyle style_;
    int width_;
    std::mutex mutex_;
    std::vector<Row> rows_;  // in the order the bays first reported
    std::size_t drawnRows_ = 0;
};

}  // namespace ostrel::cli
