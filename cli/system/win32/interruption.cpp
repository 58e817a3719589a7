// Interruption requests on Windows: Ctrl-C, Ctrl-Break and closing the console window. The
// handler runs on a thread of its own that the system starts for the event.
#include "cli/system/interruption.h"

#include <windows.h>

#include "cli/system/console_output.h"

namespace ostrel::cli {
namespace {

int stopExitCode = 1;  // set once, before the handler is installed

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            if (CountInterruptionRequest() > 1) EndAtOnce();
            // Closing the console ends the program once a handler returns: hold it while the
            // exchange in flight ends and the stop is reported (the system allows some seconds).
            if (event == CTRL_CLOSE_EVENT) Sleep(INFINITE);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void EndAtOnce() {
    static const char kStoppedAtOnce[] =
        "\r\nostrel-flash: stopped at once, perhaps inside an exchange: re-power the tracker and "
        "run the update again\r\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), kStoppedAtOnce, sizeof kStoppedAtOnce - 1, &written,
              nullptr);
    RestoreConsoleMode();  // ExitProcess runs no exit handlers
    ExitProcess(static_cast<UINT>(stopExitCode));
}

void InstallInterruptionHandlers(int exitCode) {
    stopExitCode = exitCode;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace ostrel::cli
