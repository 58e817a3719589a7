#pragma once
// Follows the terminal's size, so that lines drawn in place for the old width are drawn again
// for the new one even when nothing else changes. On Linux the window-size signal is followed;
// a Windows console is not followed (its buffer-size event comes only by reading the console's
// input, which is the user's): the display reads the console's width again at each drawing.
#include <functional>
#include <memory>

namespace ostrel::cli {

class TerminalResizes {
  public:
    // `resized` is called, from a thread of its own, after each change of the terminal's size,
    // until this is destroyed. One at a time. Made before the program's other threads (on
    // Linux they inherit the signal's blocking, which leaves it to the follower).
    explicit TerminalResizes(std::function<void()> resized);
    ~TerminalResizes();
    TerminalResizes(const TerminalResizes&) = delete;
    TerminalResizes& operator=(const TerminalResizes&) = delete;

  private:
    struct Follower;
    std::unique_ptr<Follower> follower_;
};

}  // namespace ostrel::cli
