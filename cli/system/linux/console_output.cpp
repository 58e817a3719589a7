// Console text on Linux: terminals take UTF-8 as it is.
#include "cli/system/console_output.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace ostrel::cli {

void PutText(std::FILE* stream, std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) == 1;
}

int TerminalColumns(std::FILE* stream) {
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
    return size.ws_col;
}

}  // namespace ostrel::cli
