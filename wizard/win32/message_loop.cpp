#include "wizard/win32/message_loop.h"

namespace ostrel::win32 {
namespace {

bool IsPushButton(HWND control) {
    wchar_t className[16] = {};
    if (GetClassNameW(control, className, 16) == 0 || lstrcmpiW(className, L"Button") != 0) {
        return false;
    }
    const LONG_PTR type = GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

// Enter presses the push button that has the focus and nothing else: the window has no
// default button. Tab moves the focus as in a dialog; Escape, which the dialog keys turn into
// IDCANCEL, is ignored by the window.
void Dispatch(HWND window, MSG& message) {
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN &&
        IsPushButton(message.hwnd) && IsChild(window, message.hwnd)) {
        SendMessageW(message.hwnd, BM_CLICK, 0, 0);
        return;
    }
    if (window != nullptr && IsDialogMessageW(window, &message)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

}  // namespace

int RunMessageLoop(HWND window, const std::function<void()>& idle) {
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
            Dispatch(window, message);
        }
        idle();
        WaitMessage();
    }
}

void DispatchPendingMessages(HWND window) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        Dispatch(window, message);
    }
}

}  // namespace ostrel::win32
