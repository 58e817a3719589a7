// The window procedure: clicks and closing to the controller, painting, sizing, the focus, the
// retry timer and the session's end.
#include "wizard/win32/child_controls.h"
#include "wizard/win32/session_end.h"
#include "wizard/win32/wizard_window.h"

namespace ostrel::win32 {

LRESULT CALLBACK Win32WizardWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32WizardWindow*>(
            reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32WizardWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return self->Handle(message, wParam, lParam);
}

// Panes hand what their controls report to the window, which knows every control.
LRESULT CALLBACK Win32WizardWindow::PaneProc(HWND pane, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
        case WM_DRAWITEM:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_NEXTDLGCTL:  // Tab and Shift+Tab in the welcome text, which keeps every other key
            return SendMessageW(GetAncestor(pane, GA_ROOT), message, wParam, lParam);
        case WM_CLOSE:
            // Escape in the welcome text asks the text's parent to close; a page never closes.
            return 0;
        default:
            return DefWindowProcW(pane, message, wParam, lParam);
    }
}

LRESULT Win32WizardWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            wizard::ControlId id;
            if (HIWORD(wParam) == BN_CLICKED && lParam != 0 && controller_ != nullptr &&
                ControlOfChild(reinterpret_cast<HWND>(lParam), id)) {
                controller_->OnClick(id);
            }
            return 0;  // IDOK and IDCANCEL (Enter and Escape) press nothing
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
            return reinterpret_cast<LRESULT>(
                Colour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
        case WM_DRAWITEM:
            DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_SIZE:
            LayOutPages(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_GETMINMAXINFO:
            // Never smaller than designed: the buttons at the bottom would go out of sight.
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {OuterSize().cx,
                                                                     OuterSize().cy};
            return 0;
        case WM_NEXTDLGCTL:
            FocusNext(wParam, lParam);
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) Deactivated();
            break;  // on activation the default handling gives the window the focus: below
        case WM_SETFOCUS:
            FocusReturned();
            return 0;
        case WM_TIMER:
            if (wParam != kArrivalRetryTimer) break;
            KillTimer(window_, kArrivalRetryTimer);
            if (controller_ != nullptr) controller_->OnArrivalRetry();
            return 0;
        case WM_QUERYENDSESSION:
            return controller_ == nullptr || AllowSessionEnd(window_, controller_->State());
        case WM_CLOSE:
            // The window stays (hidden) until the message loop has ended, so that an update
            // still running in the Next handler returns into intact controls. Closing the port
            // makes that update fail at its next exchange.
            if (controller_ != nullptr && !controller_->Closed()) controller_->OnClose();
            ShowWindow(window_, SW_HIDE);
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace ostrel::win32
