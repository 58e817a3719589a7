#include "cli/station/bench_wait.h"

#include <windows.h>

namespace ostrel::cli {

// The device notices come as messages to a window of this thread: dispatched here.
bool BenchWait::DeliverNotices(int milliseconds) {
    const DWORD limit = milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
    HANDLE wake = reinterpret_cast<HANDLE>(wake_.NativeHandle());
    if (MsgWaitForMultipleObjects(1, &wake, FALSE, limit, QS_ALLINPUT) == WAIT_FAILED) {
        return false;
    }
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    source_.ReadNotifications();
    return true;
}

}  // namespace ostrel::cli
