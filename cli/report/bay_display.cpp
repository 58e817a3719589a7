#include "cli/report/bay_display.h"

#include <algorithm>

#include "cli/system/console_output.h"

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
                       std::function<int()> width)
    : out_(out), err_(err), style_(style), width_(std::move(width)) {}

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
    } else if (row.stage != "waiting") {
        std::snprintf(numbers, sizeof numbers, "%3u%%", row.percent);
    }
    const std::string text = "bay " + Padded(row.bay, 8) + " " + Padded(row.port, 13) + " " +
                             Padded(row.stage, 8) + " " + Padded(numbers, 15) +
                             " last: " + row.lastResult;
    return Fitted(text, width - 1);
}

void BayDisplay::Clear() {
    // Up to the first bay's line, and everything below it erased: a line that wrapped leaves
    // nothing behind.
    const int width = std::max(width_(), 1);
    unsigned rows = 0;
    for (int columns : drawnColumns_)
        rows += static_cast<unsigned>(std::max(1, (columns + width - 1) / width));
    if (rows > 0) PrintText(out_, "\x1b[%uA", rows);
    PutText(out_, "\r\x1b[J");
    drawnColumns_.clear();
}

void BayDisplay::Redraw(const std::vector<std::string>& newLines) {
    Clear();
    for (const std::string& line : newLines) PrintText(out_, "%s\n", line.c_str());
    const int width = width_();
    for (const Row& row : rows_) {
        const std::string text = RowText(row, width);
        PrintText(out_, "%s\n", text.c_str());
        drawnColumns_.push_back(TextColumns(text));
    }
    std::fflush(out_);
}

void BayDisplay::Progress(const std::string& bay, const std::string& port, const std::string& stage,
                          unsigned percent, std::optional<int> secondsLeft) {
    std::lock_guard lock(mutex_);
    Row& row = RowOf(bay);
    if (row.stage != stage) row.printedTenth = 0;
    row.port = port;
    row.stage = stage;
    row.percent = percent;
    row.secondsLeft = secondsLeft;
    if (style_ == BayDisplayStyle::Terminal) {
        Redraw({});
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
    row.stage = "waiting";
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
    row.stage = "waiting";
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
