// Console text on Windows: UTF-16 to a console, the UTF-8 bytes unchanged to files and pipes.
#include "cli/system/console_output.h"

#include <io.h>
#include <windows.h>

#include <cstdlib>
#include <string>

namespace ostrel::cli {
namespace {

// The console behind `stream`, or null when it goes to a file or a pipe.
HANDLE ConsoleOf(std::FILE* stream) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return nullptr;
    return handle;
}

// The console and its mode before the program first changed it. The console outlives the
// program: the shell that runs in it afterwards gets it back as it was.
HANDLE changedConsole = nullptr;
DWORD modeFound = 0;

}  // namespace

void RestoreConsoleMode() {
    if (changedConsole != nullptr) SetConsoleMode(changedConsole, modeFound);
}

void PutText(std::FILE* stream, std::string_view utf8) {
    HANDLE console = ConsoleOf(stream);
    if (console == nullptr || utf8.empty()) {
        std::fwrite(utf8.data(), 1, utf8.size(), stream);
        return;
    }
    const int size = static_cast<int>(utf8.size());
    const int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, text.data(), wide);
    std::fflush(stream);  // whatever went through the stream before comes first
    DWORD written = 0;
    WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool IsTerminal(std::FILE* stream) {
    return ConsoleOf(stream) != nullptr;
}

TerminalSize TerminalSizeOf(std::FILE* stream) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    HANDLE console = ConsoleOf(stream);
    if (console == nullptr || !GetConsoleScreenBufferInfo(console, &info)) return {};
    return {info.srWindow.Right - info.srWindow.Left + 1,
            info.srWindow.Bottom - info.srWindow.Top + 1};
}

bool EnableCursorControl(std::FILE* stream) {
    HANDLE console = ConsoleOf(stream);
    DWORD mode = 0;
    if (console == nullptr || !GetConsoleMode(console, &mode)) return false;
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) return true;
    if (changedConsole == nullptr) {
        changedConsole = console;
        modeFound = mode;
        std::atexit(RestoreConsoleMode);
    }
    return SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

// A port is a handle, never a C descriptor: closed standard streams cannot receive its bytes.
void OpenClosedStandardStreams() {}

}  // namespace ostrel::cli
