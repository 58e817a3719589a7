// The focus: kept on a control across deactivation, handed on from a control hidden or disabled
// while it has it, and moved by Tab and Shift+Tab as in a dialog.
#include "wizard/win32/wizard_window.h"

namespace ostrel::win32 {

void Win32WizardWindow::SetFocus(wizard::ControlId button) {
    // Before the window is shown, kept for its activation.
    focus_ = Control(button);
    if (GetActiveWindow() == window_) ::SetFocus(focus_);
}

void Win32WizardWindow::Deactivated() {
    if (IsChild(window_, GetFocus())) focus_ = GetFocus();
}

// The window itself takes no key: the control that had the focus gets it back.
void Win32WizardWindow::FocusReturned() {
    if (focus_ == nullptr || !Reachable(focus_)) focus_ = GetNextDlgTabItem(window_, focus_, FALSE);
    if (focus_ != nullptr) ::SetFocus(focus_);
}

// As in a dialog: the control named, or the next or previous that takes the focus.
void Win32WizardWindow::FocusNext(WPARAM wParam, LPARAM lParam) {
    HWND target = LOWORD(lParam) != 0 ? reinterpret_cast<HWND>(wParam)
                                      : GetNextDlgTabItem(window_, GetFocus(), wParam != 0);
    if (target != nullptr) ::SetFocus(target);
}

// Shown and enabled on its page, whether or not the window is on screen yet.
bool Win32WizardWindow::Reachable(HWND control) const {
    for (HWND w = control; w != nullptr && w != window_; w = GetParent(w)) {
        const LONG_PTR style = GetWindowLongPtrW(w, GWL_STYLE);
        if ((style & WS_VISIBLE) == 0 || (style & WS_DISABLED) != 0) return false;
    }
    return control != nullptr;
}

bool Win32WizardWindow::HasFocusIn(HWND control) const {
    HWND focus = GetFocus();
    return focus != nullptr && (focus == control || IsChild(control, focus));
}

// Hiding or disabling the control that has the focus leaves the focus with nothing or with the
// control's parent, and then no key reaches a control: it moves on to the next that takes it.
void Win32WizardWindow::MoveFocusOnFrom(HWND control) {
    HWND next = GetNextDlgTabItem(window_, control, FALSE);
    if (next != nullptr && next != control) ::SetFocus(next);
}

}  // namespace ostrel::win32
