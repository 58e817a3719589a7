#pragma once
// The program's message loop with its idle step, and the dispatch of what waits that the update
// uses between blocks.
#include <windows.h>

#include <functional>

namespace ostrel::win32 {

// Dispatches messages until WM_QUIT and returns its code. Each time the queue has run empty it
// calls `idle` once and then sleeps until the next message: the idle step never spins.
int RunMessageLoop(HWND window, const std::function<void()>& idle);

// Dispatches every message that waits, then returns; never runs the idle step. A WM_QUIT met
// here is posted again, so that the main loop ends once the running handler has returned.
void DispatchPendingMessages(HWND window);

}  // namespace ostrel::win32
