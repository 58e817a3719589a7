#pragma once
// Windows asks every top-level window before it logs off, restarts or shuts down
// (WM_QUERYENDSESSION). While the tracker is being written the wizard says no and gives its
// reason, which Windows shows beside the window on its shutdown screen; the user may still end
// the session, but knowingly.
#include <windows.h>

#include "core/updater_state.h"

namespace ostrel::win32 {

// The answer to WM_QUERYENDSESSION: false while an update runs (its reason registered), else
// true (a reason left from an earlier refusal withdrawn).
bool AllowSessionEnd(HWND window, const UpdaterState& state);

}  // namespace ostrel::win32
