// The console's size on Windows is not followed: its buffer-size event is read from the
// console's input, which belongs to the user (and to Ctrl-C). The display reads the console's
// width again at each drawing instead.
#include "cli/station/terminal_resize.h"

namespace ostrel::cli {

struct TerminalResizes::Follower {};

TerminalResizes::TerminalResizes(std::function<void()>) {}

TerminalResizes::~TerminalResizes() = default;

}  // namespace ostrel::cli
