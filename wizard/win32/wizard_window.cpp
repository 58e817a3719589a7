// What the controller changes through WizardView: pages, controls shown and enabled, texts,
// bars, alerts, the retry timer and closing.
#include "wizard/win32/wizard_window.h"

#include <commctrl.h>

#include "device/win32/wide_text.h"
#include "wizard/win32/message_loop.h"
#include "wizard/win32/text_lines.h"

namespace ostrel::win32 {

using wizard::ControlId;

void Win32WizardWindow::ShowPage(int page) {
    HWND left = nullptr;
    for (int p = 1; p <= wizard::kPageCount; ++p) {
        if (p != page && HasFocusIn(Page(p))) left = Page(p);
        ShowWindow(Page(p), p == page ? SW_SHOW : SW_HIDE);
    }
    if (left != nullptr) MoveFocusOnFrom(left);
}

void Win32WizardWindow::SetVisible(ControlId control, bool visible) {
    const bool focused = HasFocusIn(Control(control));
    ShowWindow(Control(control), visible ? SW_SHOW : SW_HIDE);
    if (!visible && focused) MoveFocusOnFrom(Control(control));
}

void Win32WizardWindow::SetEnabled(ControlId button, bool enabled) {
    const bool focused = HasFocusIn(Control(button));
    EnableWindow(Control(button), enabled ? TRUE : FALSE);
    if (!enabled && focused) MoveFocusOnFrom(Control(button));
}

void Win32WizardWindow::SetCaption(ControlId button, std::string_view utf8) {
    SetWindowTextW(Control(button), WideFromUtf8(utf8).c_str());
}

void Win32WizardWindow::SetLine(ControlId block, int index, std::string_view utf8) {
    HWND control = Control(block);
    std::vector<std::wstring> lines = LinesOf(control);
    if (index < 0 || static_cast<std::size_t>(index) >= lines.size()) return;
    lines[static_cast<std::size_t>(index)] = WideFromUtf8(utf8);
    SetWindowTextW(control, JoinedLines(lines).c_str());
    InvalidateRect(control, nullptr, TRUE);
}

void Win32WizardWindow::SetBarPosition(ControlId bar, int position) {
    SendMessageW(Control(bar), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

bool Win32WizardWindow::IsKeepUserChecked() {
    return SendMessageW(Control(ControlId::cbKeepUser), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32WizardWindow::Announce(ControlId shown) {
    NotifyWinEvent(EVENT_SYSTEM_ALERT, Control(shown), OBJID_CLIENT, CHILDID_SELF);
}

void Win32WizardWindow::ProcessPendingEvents() {
    DispatchPendingMessages(window_);
}

void Win32WizardWindow::StartRetryTimer(int milliseconds) {
    SetTimer(window_, kArrivalRetryTimer, static_cast<UINT>(milliseconds), nullptr);
}

void Win32WizardWindow::CloseWindow() {
    SendMessageW(window_, WM_CLOSE, 0, 0);
}

}  // namespace ostrel::win32
