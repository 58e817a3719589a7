// The bench's display on a real pseudo-terminal, stdout and stderr both on it as a user has
// them, through a resize: a small terminal applies what the display wrote to a screen, which
// is compared after each drawing. Terminals wrap long lines at their width, and wrap the lines
// they hold anew when narrowed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/station/bay_display.h"
#include "cli/station/terminal_resize.h"
#include "cli/system/console_output.h"

namespace ostrel::cli {
namespace {

// The shell's lines on the terminal before the bench's.
constexpr char kEarlier[] = "$ earlier";
// The drawing marks its end with this (an operating-system command the screen ignores).
constexpr char kDrawn[] = "\x1b]ostrel-drawn\x07";

// A terminal of `width` columns and `height` rows, as tmux behaves: printable text, CR, LF,
// cursor up (stopping at the top row), erase line and erase to the end of the screen. A
// character past the last column goes on the next row (which then continues the line); a line
// feed on the last row scrolls the top row into the history, and so does erasing the whole
// screen from its top left corner (tmux's scroll-on-clear). On a resize every line, the history's
// too, is wrapped anew and the screen shows the last `height` rows: a narrowing pushes rows into
// the history, beyond any cursor movement.
class Screen {
  public:
    Screen(int width, int height) : width_(width), height_(height), rows_(height) {}

    // Applies `bytes`; counts the drawings they end.
    void Apply(const std::string& bytes) {
        for (char c : bytes) Take(c);
    }
    int Drawings() const { return drawings_; }

    // The terminal's width changes. The display draws only with the cursor at the start of an
    // empty row, which keeps its place among the lines.
    void Resize(int width) {
        ASSERT_EQ(column_, 0);
        ASSERT_EQ(rows_[row_].text, "");
        std::size_t cursorLine = 0;
        for (std::size_t r = 0; r < row_; ++r) cursorLine += rows_[r].wraps ? 0 : 1;
        const std::vector<std::string> lines = AllLines(rows_.size());
        width_ = width;
        rows_.clear();
        for (std::size_t line = 0; line < lines.size(); ++line) {
            if (line == cursorLine) row_ = rows_.size();
            std::size_t at = 0;
            do {
                rows_.push_back(
                    {lines[line].substr(at, width), lines[line].size() - at > std::size_t(width)});
                at += width;
            } while (at < lines[line].size());
        }
        while (rows_.size() < std::size_t(height_)) rows_.push_back({});
    }

    // Every line the terminal holds, the history's first, each whole however many rows it
    // takes, down to the last that is not empty.
    std::vector<std::string> Lines() const {
        std::size_t end = rows_.size();
        while (end > 0 && rows_[end - 1].text.empty()) --end;
        return AllLines(end);
    }
    // The longest row, in columns.
    std::size_t WidestRow() const {
        std::size_t widest = 0;
        for (const Row& row : rows_) widest = std::max(widest, row.text.size());
        return widest;
    }

  private:
    struct Row {
        std::string text;
        bool wraps = false;  // the line goes on in the next row
    };

    std::vector<std::string> AllLines(std::size_t end) const {
        std::vector<std::string> lines;
        for (std::size_t r = 0; r < end; ++r) {
            if (r > 0 && rows_[r - 1].wraps) {
                lines.back() += rows_[r].text;
            } else {
                lines.push_back(rows_[r].text);
            }
        }
        return lines;
    }
    // The first row on the screen; those above it are the history.
    std::size_t Top() const { return rows_.size() - height_; }

    void Take(char c) {
        if (!sequence_.empty()) {
            sequence_ += c;
            if (sequence_[1] == ']') {
                if (c != '\x07') return;
                if (sequence_ == kDrawn) ++drawings_;
            } else if (sequence_.size() > 1 && (c < '0' || c > '9')) {
                if (sequence_.size() == 2 && c == '[') return;
                Control(sequence_);
            } else {
                return;
            }
            sequence_.clear();
        } else if (c == '\x1b') {
            sequence_ = "\x1b";
        } else if (c == '\r') {
            column_ = 0;
        } else if (c == '\n') {
            rows_[row_].wraps = false;
            Down();
        } else {
            if (column_ == width_) {
                rows_[row_].wraps = true;
                Down();
                column_ = 0;
            }
            std::string& text = rows_[row_].text;
            if (text.size() <= std::size_t(column_)) text.resize(column_ + 1, ' ');
            text[column_++] = c;
        }
    }
    void Down() {
        if (++row_ == rows_.size()) rows_.push_back({});
    }
    void Control(const std::string& sequence) {
        const char code = sequence.back();
        const std::string digits = sequence.substr(2, sequence.size() - 3);
        const int n = digits.empty() ? 0 : std::stoi(digits);
        column_ = std::min(column_, width_ - 1);
        if (code == 'A') {
            row_ -= std::min<std::size_t>(row_ - Top(), std::max(n, 1));
        } else if (code == 'J' && n == 0) {
            if (row_ == Top() && column_ == 0) {
                // Scrolled into the history down to the screen's last line that is not empty.
                std::size_t end = rows_.size();
                while (end > row_ && rows_[end - 1].text.empty()) --end;
                for (std::size_t r = row_; r < end; ++r) rows_.push_back({});
                row_ = Top();
            }
            rows_[row_].text.resize(std::min<std::size_t>(rows_[row_].text.size(), column_));
            rows_[row_].wraps = false;
            for (std::size_t r = row_ + 1; r < rows_.size(); ++r) rows_[r] = {};
        } else if (code == 'K') {
            std::string& text = rows_[row_].text;
            if (n == 2) text.clear(), rows_[row_].wraps = false;
            text.resize(std::min<std::size_t>(text.size(), column_));
        } else {
            ADD_FAILURE() << "a sequence this screen does not know: ESC" << sequence.substr(1);
        }
    }

    int width_;
    int height_;
    std::vector<Row> rows_;
    std::size_t row_ = 0;
    int column_ = 0;
    std::string sequence_;
    int drawings_ = 0;
};

void SetSize(int terminal, int columns, int rows) {
    winsize size{};
    size.ws_row = static_cast<unsigned short>(rows);
    size.ws_col = static_cast<unsigned short>(columns);
    ASSERT_EQ(ioctl(terminal, TIOCSWINSZ, &size), 0);
}

// The display of a bench of three bays in a child on the terminal's other end: drawn once, and
// again at each resize (the child follows them as the station does). One byte on `go` ends it.
[[noreturn]] void RunBench(int terminal, int go) {
    dup2(terminal, STDOUT_FILENO);
    dup2(terminal, STDERR_FILENO);
    BayDisplay display(stdout, stderr, BayDisplayStyle::Terminal,
                       [] { return TerminalSizeOf(stdout); });
    auto drawn = [] {
        std::fputs(kDrawn, stdout);
        std::fflush(stdout);
    };
    display.Progress("1-1", "/dev/ttyUSB0", "write", 42, 75);
    display.Progress("1-2", "/dev/ttyUSB1", "verify", 7, 12);
    display.Progress("1-3", "/dev/ttyUSB2", "connect", 0, {});
    RunResult failed;
    failed.exitCode = 4;
    failed.outcome = RunOutcome::Failed;
    failed.stage = UpdateStage::Write;
    failed.block = 0x9000;
    failed.port = "/dev/ttyUSB2";
    failed.reason = "no answer within 1000 ms: the tracker stopped answering mid-update";
    display.Message("1-3", "ostrel-flash: Failed in writing program memory, block 0x9000");
    display.Result("1-3", failed);
    {
        TerminalResizes resizes([&] {
            display.Resized();
            drawn();
        });
        drawn();
        char end;
        while (read(go, &end, 1) < 0 && errno == EINTR) {
        }
    }
    _exit(0);
}

// The bench drawn on a terminal of 60 columns and `rows` rows, below `earlier` lines of the
// shell's (none: from the top row of a cleared screen).
class BenchOnATerminal : public testing::Test {
  protected:
    explicit BenchOnATerminal(int rows = 40, int earlier = 40) : rows_(rows), screen_(60, rows) {
        for (int line = 0; line < earlier; ++line) screen_.Apply(kEarlier + std::string("\r\n"));
    }

    void SetUp() override {
        int terminal = -1;
        ASSERT_EQ(openpty(&master_, &terminal, nullptr, nullptr, nullptr), 0);
        SetSize(master_, 60, rows_);
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        child_ = fork();
        ASSERT_GE(child_, 0);
        if (child_ == 0) {
            close(ends[1]);
            close(master_);
            RunBench(terminal, ends[0]);
        }
        close(ends[0]);
        close(terminal);
        go_ = ends[1];
    }
    void TearDown() override {
        if (child_ <= 0) return;
        (void)!write(go_, "x", 1);
        int status = 0;
        waitpid(child_, &status, 0);
        close(go_);
        close(master_);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    // What the child wrote, applied to the screen until it has drawn `drawings` times in all.
    void ReadUntilDrawn(int drawings) {
        while (screen_.Drawings() < drawings) {
            pollfd watched{master_, POLLIN, 0};
            // Only against a hang: each drawing takes milliseconds.
            ASSERT_EQ(poll(&watched, 1, 20000), 1)
                << "the display was not drawn again; the terminal holds "
                << ::testing::PrintToString(screen_.Lines());
            char bytes[4096];
            const ssize_t got = read(master_, bytes, sizeof bytes);
            ASSERT_GT(got, 0);
            screen_.Apply(std::string(bytes, static_cast<std::size_t>(got)));
        }
    }
    void Resize(int columns) {
        SetSize(master_, columns, rows_);
        screen_.Resize(columns);
        ASSERT_EQ(kill(child_, SIGWINCH), 0);
    }

    // The terminal, its history too, holds the message and the result line whole, then the
    // lines of the first `bays` bays once, cut to one column less than `columns`: nothing left of
    // earlier drawings.
    void ExpectShown(int columns, int bays = 3) {
        std::vector<std::string> lines = screen_.Lines();
        std::erase(lines, kEarlier);
        ASSERT_GE(lines.size(), 2u + bays) << ::testing::PrintToString(lines);
        EXPECT_EQ(lines[0],
                  "bay 1-3: ostrel-flash: Failed in writing program memory, block 0x9000");
        EXPECT_EQ(
            lines[1].rfind("result=failed stage=write block=0x9000 port=/dev/ttyUSB2 bay=1-3 ", 0),
            0u)
            << lines[1];
        EXPECT_TRUE(lines[1].ends_with(
            " reason=no answer within 1000 ms: the tracker stopped answering mid-update"))
            << lines[1];
        const std::string shown[] = {
            "bay 1-1      /dev/ttyUSB0  write     42%  1:15 left last: -",
            "bay 1-2      /dev/ttyUSB1  verify     7%  0:12 left last: -",
            "bay 1-3      /dev/ttyUSB2  pull out                 last: failed in write"};
        for (int bay = 0; bay < bays; ++bay) {
            EXPECT_EQ(lines[2 + bay], shown[bay].substr(0, columns - 1));
        }
        if (bays == 3) {
            EXPECT_EQ(lines.size(), 5u) << ::testing::PrintToString(lines);
        } else {
            ASSERT_EQ(lines.size(), 3u + bays) << ::testing::PrintToString(lines);
            const std::string more = "... " + std::to_string(3 - bays) +
                                     " more bays: the terminal has too few rows to show them";
            EXPECT_EQ(lines.back(), more.substr(0, columns - 1));
        }
    }

    int rows_;
    Screen screen_;
    int master_ = -1;
    int go_ = -1;
    pid_t child_ = -1;
};

TEST_F(BenchOnATerminal, EachResizeRedrawsTheBaysForTheNewWidthAndLeavesNothingBehind) {
    ReadUntilDrawn(1);
    ExpectShown(60);
    Resize(40);  // the bays' lines of 59 columns now wrap
    ReadUntilDrawn(2);
    ExpectShown(40);
    EXPECT_LE(screen_.WidestRow(), 40u);
    Resize(100);  // wider: the bays' lines grow back
    ReadUntilDrawn(3);
    ExpectShown(100);
    Resize(25);
    ReadUntilDrawn(4);
    ExpectShown(25);
}

// A screen with fewer rows than the bays: the first bays and how many more, and nothing pushed
// into the terminal's history by the drawings.
class BenchOnAShortTerminal : public BenchOnATerminal {
  protected:
    BenchOnAShortTerminal() : BenchOnATerminal(3, 0) {}
};

TEST_F(BenchOnAShortTerminal, ShowsTheBaysItHasRowsForAndHowManyMore) {
    ReadUntilDrawn(1);
    ExpectShown(60, 1);
    Resize(100);
    ReadUntilDrawn(2);
    ExpectShown(100, 1);
}

}  // namespace
}  // namespace ostrel::cli
