// Console text on Linux: terminals take UTF-8 as it is.
#include "cli/system/console_output.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace ostrel::cli {

void PutText(std::FILE* stream, std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) == 1;
}

TerminalSize TerminalSizeOf(std::FILE* stream) {
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0) return {};
    TerminalSize shown;
    if (size.ws_col > 0) shown.columns = size.ws_col;
    shown.rows = size.ws_row;
    return shown;
}

bool EnableCursorControl(std::FILE* stream) {
    return IsTerminal(stream);
}

// A terminal takes the sequences as it is: nothing was changed.
void RestoreConsoleMode() {}

void OpenClosedStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is `fd` itself: the ones below are open by now.
        const int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) close(opened);
    }
}

}  // namespace ostrel::cli
