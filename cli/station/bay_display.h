#pragma once
// What a bench of adapters shows while its bays run at once. On a terminal, one line per bay,
// redrawn in place (and again when the terminal is resized) and cut to the terminal's size as
// it is at each drawing: bay, port, stage, percent, time left, last result; the result lines
// and every message scroll above them and are never drawn over. Elsewhere, plain lines
// prefixed by the bay. Quiet: the result lines, the messages and the summary only. Every bay's
// session reports from its own thread.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/report/result_line.h"
#include "cli/system/console_output.h"

namespace ostrel::cli {

enum class BayDisplayStyle { Terminal, Lines, Quiet };

class BayDisplay {
  public:
    // `size` tells the terminal's size, asked at each drawing; each bay's line is cut to one
    // column less than its width, and the bays take no more rows than it has above the cursor's.
    // Messages go to `err` (stderr).
    BayDisplay(std::FILE* out, std::FILE* err, BayDisplayStyle style,
               std::function<TerminalSize()> size);

    // The bay is working on `stage` ("connect", "write", "verify", "data", "waiting"), `percent`
    // of it done, about `secondsLeft` to go when known. A bay is shown from its first report.
    void Progress(const std::string& bay, const std::string& port, const std::string& stage,
                  unsigned percent, std::optional<int> secondsLeft);
    // The bay's tracker is left alone (`why`): no result line, the bay's last result stays.
    void Aside(const std::string& bay, const std::string& port, const std::string& why);
    // A tracker is done: its result line, with its bay, and the bay's last result.
    void Result(const std::string& bay, RunResult result);
    // A message of the bay's tracker, on `err` as "bay 1-3: `line`", above the bays' lines.
    void Message(const std::string& bay, const std::string& line);
    // A line of the run's own on `err`, above the bays' lines.
    void Note(const std::string& line);
    // The summary line, below everything.
    void Summary(const std::string& line);
    // The terminal's size changed: the bays' lines are drawn again for the new width.
    void Resized();

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
    std::string RowText(const Row& row, int width) const;
    // Terminal: the result lines that came since, then every bay's line, over the last drawing.
    void Redraw(const std::vector<std::string>& newLines);
    // Terminal: the bays' lines erased, so that other text takes their place.
    void Clear();

    std::FILE* out_;
    std::FILE* err_;
    BayDisplayStyle style_;
    std::function<TerminalSize()> size_;
    std::mutex mutex_;
    std::vector<Row> rows_;  // in the order the bays first reported
    // Terminal: the columns of each bay's line as last drawn. A terminal narrowed since wraps
    // them anew (as terminals that keep lines whole on a resize do), so each may now take more
    // than one row.
    std::vector<int> drawnColumns_;
};

}  // namespace ostrel::cli
