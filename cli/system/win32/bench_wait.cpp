#include "cli/system/bench_wait.h"

#include <windows.h>

#include "cli/system/interruption.h"

namespace ostrel::cli {
namespace {

// What the console's control handler thread may touch.
volatile LONG stopRequested = 0;
volatile LONG consoleClosing = 0;
HANDLE wakeEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (InterlockedExchange(&stopRequested, 1) != 0) EndAtOnce();  // the second one: end now
    if (event == CTRL_CLOSE_EVENT) {
        // Windows ends the program some seconds after its console closes, far sooner than a
        // tracker is written: the tracker in hand stops as on Ctrl-C in a single run (the
        // exchange in flight ends, then its result line and the summary are written).
        InterlockedExchange(&consoleClosing, 1);
        CountInterruptionRequest();
    }
    SetEvent(wakeEvent);
    // The program ends once a handler returns from the close: hold it until the loop has
    // reported and the program ends by itself.
    if (event == CTRL_CLOSE_EVENT) Sleep(INFINITE);
    return TRUE;
}

}  // namespace

BenchWait::BenchWait(DeviceEventSource& source) : source_(source) {
    stopRequested = 0;
    consoleClosing = 0;
    wakeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

BenchWait::~BenchWait() {
    // The handler list is held while a handler runs, and the close's handler does not return:
    // removing it then would wait for ever. The program is ending anyway.
    if (consoleClosing == 0) SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    if (wakeEvent != nullptr) CloseHandle(wakeEvent);
    wakeEvent = nullptr;
}

bool BenchWait::StopRequested() const {
    return stopRequested != 0;
}

// The device notices come as messages to a window of this thread: dispatched here.
bool BenchWait::DeliverNotices(int milliseconds) {
    const DWORD limit = milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
    if (MsgWaitForMultipleObjects(1, &wakeEvent, FALSE, limit, QS_ALLINPUT) == WAIT_FAILED) {
        return false;
    }
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    source_.ReadNotifications();
    return true;
}

bool BenchWait::For(PendingEvent event) {
    while (!stopRequested && source_.PendingNotice() != event) {
        if (!DeliverNotices(-1)) return false;
    }
    return !stopRequested;
}

}  // namespace ostrel::cli
