#pragma once
// Text for the console, kept in UTF-8 throughout the program. Files and pipes get the bytes as
// they are. A Windows console gets the text as UTF-16 (WriteConsoleW), so Russian shows
// whatever the console's code page (866 and 437 would show UTF-8 bytes as other letters).
#include <cstdio>
#include <string_view>

namespace ostrel::cli {

void PutText(std::FILE* stream, std::string_view utf8);

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void PrintText(std::FILE* stream, const char* format, ...);

// The stream goes to a terminal (a console on Windows), not to a file or a pipe.
bool IsTerminal(std::FILE* stream);
// The terminal's visible size: 80 columns when its width cannot be told, 0 rows when its
// height cannot.
struct TerminalSize {
    int columns = 80;
    int rows = 0;
};
TerminalSize TerminalSizeOf(std::FILE* stream);
// Whether the stream is a terminal that takes the ANSI cursor sequences (cursor up, erase the
// line), so that lines can be redrawn in place. A Windows console is asked to process them;
// one that cannot (before Windows 10) gets plain lines, as files and pipes do.
bool EnableCursorControl(std::FILE* stream);
// Gives the console back the mode EnableCursorControl found; also done at a normal exit.
void RestoreConsoleMode();

// Opens any of the standard descriptors 0-2 that the caller left closed on the null device, so
// that a port opened later cannot take its number and receive the program's text.
void OpenClosedStandardStreams();

// Screen columns of UTF-8 text: one per character (the texts here have no wide characters).
int TextColumns(std::string_view utf8);

}  // namespace ostrel::cli
