#include "cli/station/bay_display.h"

#include <algorithm>
#include <cstdio>

namespace ostrel::cli {
namespace {

// The first `columns` characters of UTF-8 text (one column each, as TextColumns counts).
std::string Fitted(const std::string& text, int columns) {
    std::size_t end = 0;
    for (int column = 0; end < text.size(); ++column) {
        if (column == columns) return text.substr(0, end);
        ++end;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    }
    return text;
}

std::string Padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

}  // namespace

BayDisplay::BayDisplay(std::FILE* out, std::FILE* err, BayDisplayStyle style,
                       std::function<TerminalSize()> size)
    : out_(out), err_(err), style_(style), size_(std::move(size)) {}

BayDisplay::Row& BayDisplay::RowOf(const std::string& bay) {
    for (Row& row : rows_) {
        if (row.bay == bay) return row;
    }
    rows_.push_back({});
    rows_.back().bay = bay;
    return rows_.back();
}

std::string BayDisplay::RowText(const Row& row, int width) const {
    char numbers[40] = "";
    if (row.secondsLeft) {
        std::snprintf(numbers, sizeof numbers, "%3u%%  %d:%02d left", row.percent,
                      *row.secondsLeft / 60, *row.secondsLeft % 60);
    } else if (row.stage != "waiting" && row.stage != "held" && row.stage != "pull out") {
        std::snprintf(numbers, sizeof numbers, "%3u%%", row.percent);
    }
    const std::string text = "bay " + Padded(row.bay, 8) + " " + Padded(row.port, 13) + " " +
                             Padded(row.stage, 8) + " " + Padded(numbers, 15) +
                             " last: " + row.lastResult;
    return Fitted(text, width - 1);
}

void BayDisplay::Clear() {
    // Each row the bays' lines take now is erased, from the bottom up. Erasing to the end of the
    // screen from the first line would, with the lines at the top of the screen, clear the
    // whole screen, which tmux and others first scroll into their history: every drawing would
    // add the bays' lines to it.
    const int width = std::max(size_().columns, 1);
    std::string erase;
    for (int columns : drawnColumns_) {
        for (int row = std::max(1, (columns + width - 1) / width); row > 0; --row)
            erase += "\x1b[A\x1b[2K";
    }
    erase += '\r';
    PutText(out_, erase);
    drawnColumns_.clear();
}

void BayDisplay::Redraw(const std::vector<std::string>& newLines) {
    Clear();
    for (const std::string& line : newLines) PrintText(out_, "%s\n", line.c_str());
    const TerminalSize size = size_();
    // A screen too short for every bay's line and the cursor's row below them shows the first
    // bays and how many more there are: lines drawn past its top would scroll into its history
    // at every drawing, out of reach of the next one's erasing.
    std::size_t shown = rows_.size();
    if (size.rows > 0 && rows_.size() + 1 > static_cast<std::size_t>(size.rows))
        shown = static_cast<std::size_t>(std::max(size.rows - 2, 0));
    std::vector<std::string> lines;
    for (std::size_t bay = 0; bay < shown; ++bay)
        lines.push_back(RowText(rows_[bay], size.columns));
    if (shown < rows_.size() && size.rows > 1) {
        char more[96];
        std::snprintf(more, sizeof more,
                      "... %zu more bays: the terminal has too few rows to show them",
                      rows_.size() - shown);
        lines.push_back(Fitted(more, size.columns - 1));
    }
    for (const std::string& text : lines) {
        PrintText(out_, "%s\n", text.c_str());
        drawnColumns_.push_back(TextColumns(text));
    }
    std::fflush(out_);
}

void BayDisplay::Progress(const std::string& bay, const std::string& port, const std::string& stage,
                          unsigned percent, std::optional<int> secondsLeft) {
    std::lock_guard lock(mutex_);
    const std::size_t bays = rows_.size();
    Row& row = RowOf(bay);
    // Reports come with every block, a few dozen a second a bay; the lines change with a
    // percent or a second, and only then are they drawn again.
    const bool unchanged = bays == rows_.size() && row.port == port && row.stage == stage &&
                           row.percent == percent && row.secondsLeft == secondsLeft;
    if (row.stage != stage) row.printedTenth = 0;
    row.port = port;
    row.stage = stage;
    row.percent = percent;
    row.secondsLeft = secondsLeft;
    if (style_ == BayDisplayStyle::Terminal) {
        if (!unchanged) Redraw({});
    } else if (style_ == BayDisplayStyle::Lines && percent / 10 + 1 > row.printedTenth) {
        row.printedTenth = percent / 10 + 1;
        PrintText(out_, "bay %s: %s %s %u%%\n", bay.c_str(), port.c_str(), stage.c_str(), percent);
        std::fflush(out_);
    }
}

void BayDisplay::Aside(const std::string& bay, const std::string& port, const std::string& why) {
    std::lock_guard lock(mutex_);
    Row& row = RowOf(bay);
    row.port = port;
    row.stage = "held";  // by another program, until it lets go
    row.secondsLeft.reset();
    // Said whatever the style: the tracker is not this station's to report.
    const std::string line = "bay " + bay + ": " + port + " " + why;
    if (style_ == BayDisplayStyle::Terminal) {
        Redraw({line});
    } else {
        PrintText(out_, "%s\n", line.c_str());
        std::fflush(out_);
    }
}

void BayDisplay::Message(const std::string& bay, const std::string& line) {
    Note("bay " + bay + ": " + line);
}

void BayDisplay::Note(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (style_ == BayDisplayStyle::Terminal) Clear();
    std::fflush(out_);
    PrintText(err_, "%s\n", line.c_str());
    std::fflush(err_);
    if (style_ == BayDisplayStyle::Terminal) Redraw({});
}

void BayDisplay::Result(const std::string& bay, RunResult result) {
    std::lock_guard lock(mutex_);
    result.bay = bay;
    const std::string line = FormatResultLine(result);
    Row& row = RowOf(bay);
    row.port = result.port;
    row.stage = "pull out";  // for the next tracker
    row.secondsLeft.reset();
    row.lastResult = OutcomeName(result.outcome);
    if (result.stage) row.lastResult += std::string(" in ") + StageName(*result.stage);
    if (style_ == BayDisplayStyle::Terminal) {
        Redraw({line});
    } else {
        PrintText(out_, "%s\n", line.c_str());
        std::fflush(out_);
    }
}

void BayDisplay::Resized() {
    std::lock_guard lock(mutex_);
    if (style_ == BayDisplayStyle::Terminal && !drawnColumns_.empty()) Redraw({});
}

void BayDisplay::Summary(const std::string& line) {
    std::lock_guard lock(mutex_);
    drawnColumns_.clear();  // the bays' last lines stay, above the summary
    PrintText(out_, "%s\n", line.c_str());
    std::fflush(out_);
}

}  // namespace ostrel::cli
