#include "cli/system/bench_wait.h"

#include <windows.h>

#include "cli/system/interruption.h"

namespace ostrel::cli {
namespace {

// What the console's control handler thread may touch.
volatile LONG stopRequested = 0;
HANDLE wakeEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (InterlockedExchange(&stopRequested, 1) != 0) EndAtOnce();  // the second one: end now
    SetEvent(wakeEvent);
    // Closing the console ends the program once a handler returns: hold it while the tracker
    // in hand is finished (the system allows some seconds).
    if (event == CTRL_CLOSE_EVENT) Sleep(INFINITE);
    return TRUE;
}

}  // namespace

BenchWait::BenchWait(DeviceEventSource& source, UpdaterState& events)
    : source_(source), events_(events) {
    stopRequested = 0;
    wakeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

BenchWait::~BenchWait() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    if (wakeEvent != nullptr) CloseHandle(wakeEvent);
    wakeEvent = nullptr;
}

bool BenchWait::StopRequested() const {
    return stopRequested != 0;
}

// The device notices come as messages to a window of this thread: dispatched here.
bool BenchWait::For(PendingEvent event) {
    while (!stopRequested && events_.PendingDeviceEvent != event) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &wakeEvent, FALSE, INFINITE, QS_ALLINPUT);
        if (woken == WAIT_FAILED) return false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        source_.ReadNotifications();
    }
    return !stopRequested;
}

bool BenchWait::Pause(std::uint32_t milliseconds) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (ULONGLONG now = GetTickCount64(); !stopRequested && now < end; now = GetTickCount64()) {
        const auto left = static_cast<DWORD>(end - now);
        if (MsgWaitForMultipleObjects(1, &wakeEvent, FALSE, left, QS_ALLINPUT) == WAIT_FAILED) {
            return false;
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        source_.ReadNotifications();
    }
    return !stopRequested;
}

bool BenchWait::ForAnyNotice() {
    while (!stopRequested && events_.PendingDeviceEvent == kNoDeviceEvent) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &wakeEvent, FALSE, INFINITE, QS_ALLINPUT);
        if (woken == WAIT_FAILED) return false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        source_.ReadNotifications();
    }
    return !stopRequested;
}

}  // namespace ostrel::cli
