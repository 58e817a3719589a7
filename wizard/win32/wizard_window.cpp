#include "wizard/win32/wizard_window.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device/win32/wide_text.h"
#include "wizard/win32/message_loop.h"
#include "wizard/win32/session_end.h"

namespace ostrel::win32 {
namespace {

using wizard::ControlId;
using wizard::ControlKind;
using wizard::ControlLayout;

constexpr wchar_t kWindowClass[] = L"OstrelUpdater";
// The page container, its pages and the blank panel: panes that paint the button face and hand
// their controls' notifications to the window.
constexpr wchar_t kPaneClass[] = L"OstrelPane";
// Child ids: the table's order from here, clear of IDOK and IDCANCEL, which the dialog keys send.
constexpr int kFirstControlId = 100;
// The timer that looks for a plugged-in adapter's port again.
constexpr UINT_PTR kArrivalRetryTimer = 1;

int ChildId(ControlId id) {
    return kFirstControlId + static_cast<int>(id);
}

bool ControlOfChild(HWND child, ControlId& id) {
    const int index = GetDlgCtrlID(child) - kFirstControlId;
    if (index < 0 || index >= wizard::kControlCount) return false;
    id = static_cast<ControlId>(index);
    return true;
}

COLORREF ColourRef(wizard::Colour colour) {
    if (colour == wizard::Colour::WindowText) return GetSysColor(COLOR_WINDOWTEXT);
    const wizard::Rgb rgb = wizard::RgbOf(colour);
    return RGB(rgb.red, rgb.green, rgb.blue);
}

// The lines of a text block, kept as its window text with a line break between each two.
std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(L"\r\n", from)) != std::wstring::npos; from = at + 2) {
        lines.push_back(text.substr(from, at - from));
    }
    lines.push_back(text.substr(from));
    return lines;
}

std::wstring WindowTextOf(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring JoinedLines(const ControlLayout& layout) {
    std::wstring text;
    for (std::size_t i = 0; i < layout.lines.size(); ++i) {
        if (i > 0) text += L"\r\n";
        text += WideFromUtf8(layout.lines[i]);
    }
    return text;
}

bool IsMark(ControlKind kind) {
    return kind == ControlKind::CheckMark || kind == ControlKind::CrossMark;
}

void RegisterClasses(HINSTANCE instance, WNDPROC windowProc, WNDPROC paneProc) {
    WNDCLASSEXW window{};
    window.cbSize = sizeof window;
    window.lpfnWndProc = windowProc;
    window.hInstance = instance;
    window.hIcon = static_cast<HICON>(
        LoadImageW(instance, L"MAINICON", IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    window.hIconSm = static_cast<HICON>(LoadImageW(instance, L"MAINICON", IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    window.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window.lpszClassName = kWindowClass;
    RegisterClassExW(&window);

    WNDCLASSEXW pane = window;
    pane.lpfnWndProc = paneProc;
    pane.hIcon = nullptr;
    pane.hIconSm = nullptr;
    pane.lpszClassName = kPaneClass;
    RegisterClassExW(&pane);
}

}  // namespace

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

Win32WizardWindow::Win32WizardWindow(HINSTANCE instance, int dpi) : dpi_(dpi), fonts_(dpi) {
    RegisterClasses(instance, &WindowProc, &PaneProc);
    logo_ = static_cast<HBITMAP>(
        LoadImageW(instance, L"LOGO", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));

    RECT outer{0, 0, Scale(wizard::kClientWidth), Scale(wizard::kClientHeight)};
    AdjustWindowRectEx(&outer, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT);
    CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, L"", WS_OVERLAPPEDWINDOW,
                    Scale(wizard::kWindowLeft), Scale(wizard::kWindowTop), outer.right - outer.left,
                    outer.bottom - outer.top, nullptr, nullptr, instance, this);
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.Font(wizard::kWindowFont)),
                 FALSE);
    KeepWithinWorkArea();
    CreateControls(instance);
    RECT client;
    GetClientRect(window_, &client);
    LayOutPages(client.right, client.bottom);
}

Win32WizardWindow::~Win32WizardWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
    if (logo_ != nullptr) DeleteObject(logo_);
}

// The designed place, scaled, can leave a small screen at a large scale (at 150 % on 1024 x 768
// the buttons fall off its bottom): the window moves in as little as it takes.
void Win32WizardWindow::KeepWithinWorkArea() {
    RECT outer;
    GetWindowRect(window_, &outer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& area = monitor.rcWork;
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    // Too big for the area: its top-left corner shows, with the title bar.
    const int left = std::max<int>(area.left, std::min<int>(outer.left, area.right - width));
    const int top = std::max<int>(area.top, std::min<int>(outer.top, area.bottom - height));
    if (left == outer.left && top == outer.top) return;
    SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT Win32WizardWindow::Scale(const wizard::Rect& designed) const {
    // Edges rather than sizes are scaled, so that controls designed to share an edge still do.
    return {Scale(designed.left), Scale(designed.top), Scale(designed.left + designed.width),
            Scale(designed.top + designed.height)};
}

void Win32WizardWindow::CreateControls(HINSTANCE instance) {
    for (const ControlLayout& layout : wizard::Controls()) {
        HWND parent = layout.page == 0 ? window_ : Page(layout.page);
        HWND control = CreateControl(instance, layout, parent);
        controls_[static_cast<std::size_t>(layout.id)] = control;
        if (layout.kind == ControlKind::PageContainer) {
            for (int page = 1; page <= wizard::kPageCount; ++page) {
                // Nameless: a screen reader has nothing to say of a page's frame.
                pages_[static_cast<std::size_t>(page - 1)] = CreateWindowExW(
                    WS_EX_CONTROLPARENT, kPaneClass, L"", WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                    control, nullptr, instance, nullptr);
            }
        }
    }
    // The panel lies over the band where the container's tabs would be.
    SetWindowPos(Control(ControlId::Panel1), HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

HWND Win32WizardWindow::CreateControl(HINSTANCE instance, const ControlLayout& layout,
                                      HWND parent) {
    const wchar_t* className = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    std::wstring text = layout.lines.empty() ? std::wstring() : WideFromUtf8(layout.lines[0]);
    switch (layout.kind) {
        case ControlKind::Picture:
            style |= SS_OWNERDRAW;
            break;
        case ControlKind::TextBlock:
            // Drawn by the window line by line at the table's line height; its text is all its
            // lines, which a screen reader reads as one text, where a list box would offer each
            // screen line as an item of its own.
            style |= SS_OWNERDRAW;
            text = JoinedLines(layout);
            break;
        case ControlKind::PageContainer:
        case ControlKind::Panel:
            className = kPaneClass;
            exStyle = WS_EX_CONTROLPARENT;
            text.clear();  // nameless, as the pages
            break;
        case ControlKind::Button:
            className = L"BUTTON";
            style |= BS_PUSHBUTTON | WS_TABSTOP;
            break;
        case ControlKind::RichText:
            className = L"EDIT";
            style |= ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL | WS_HSCROLL |
                     WS_VSCROLL | WS_TABSTOP;
            exStyle = WS_EX_CLIENTEDGE;
            text = JoinedLines(layout);
            break;
        case ControlKind::Label:
            style |= SS_NOPREFIX | (layout.align == wizard::Align::Right ? SS_RIGHT : SS_LEFT);
            break;
        case ControlKind::CheckMark:
        case ControlKind::CrossMark:
            // Drawn by the window: its text is what the mark means, which a screen reader says
            // where it would otherwise spell the symbol font's letter.
            style |= SS_OWNERDRAW;
            text = WideFromUtf8(layout.kind == ControlKind::CheckMark ? texts::kCheckMarkName
                                                                      : texts::kCrossMarkName);
            break;
        case ControlKind::CheckBox:
            className = L"BUTTON";
            style |= BS_AUTOCHECKBOX | WS_TABSTOP;
            break;
        case ControlKind::ProgressBar:
            className = PROGRESS_CLASSW;
            text.clear();
            break;
    }
    const RECT place = Scale(layout.geometry);
    HWND control = CreateWindowExW(
        exStyle, className, text.c_str(), style, place.left, place.top, place.right - place.left,
        place.bottom - place.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ChildId(layout.id))), instance, nullptr);
    const HFONT font =
        IsMark(layout.kind) ? fonts_.Mark(layout.font.pixelHeight) : fonts_.Font(layout.font);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (layout.kind == ControlKind::ProgressBar) {
        SendMessageW(control, PBM_SETRANGE32, 0, 100);
    } else if (layout.kind == ControlKind::Label) {
        // Of two labels on one spot the later one covers the earlier ("ОШИБКА!!!" over "ОК").
        SetWindowPos(control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    } else if (IsMark(layout.kind)) {
        // A mark draws no background and lies below the labels, so it never cuts into them.
        SetWindowPos(control, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    return control;
}

void Win32WizardWindow::LayOutPages(int clientWidth, int clientHeight) {
    HWND container = Control(ControlId::PageControl1);
    if (container == nullptr) return;
    // The container keeps its width and its distances to the top, right and bottom edges.
    const RECT designed = Scale(wizard::Layout(ControlId::PageControl1).geometry);
    const int designedTop = static_cast<int>(designed.top);
    const int rightGap = Scale(wizard::kClientWidth) - static_cast<int>(designed.right);
    const int bottomGap = Scale(wizard::kClientHeight) - static_cast<int>(designed.bottom);
    const int width = static_cast<int>(designed.right - designed.left);
    const int height = std::max(0, clientHeight - bottomGap - designedTop);
    MoveWindow(container, clientWidth - rightGap - width, designedTop, width, height, TRUE);
    const int left = Scale(wizard::kPageContentLeft);
    const int top = Scale(wizard::kPageContentTop);
    for (HWND page : pages_) {
        MoveWindow(page, left, top, std::max(0, width - left - Scale(wizard::kPageContentRight)),
                   std::max(0, height - top - Scale(wizard::kPageContentBottom)), TRUE);
    }
}

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
            ControlId id;
            if (HIWORD(wParam) == BN_CLICKED && lParam != 0 &&
                ControlOfChild(reinterpret_cast<HWND>(lParam), id)) {
                Clicked(id);
            }
            return 0;  // IDOK and IDCANCEL (Enter and Escape) press nothing
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
            return reinterpret_cast<LRESULT>(
                Colour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            ControlId id;
            if (ControlOfChild(item.hwndItem, id) && IsMark(wizard::Layout(id).kind)) {
                DrawMark(item, wizard::Layout(id));
            } else if (ControlOfChild(item.hwndItem, id) &&
                       wizard::Layout(id).kind == ControlKind::TextBlock) {
                DrawTextBlock(item, wizard::Layout(id));
            } else {
                DrawLogo(item);
            }
            return TRUE;
        }
        case WM_SIZE:
            LayOutPages(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_GETMINMAXINFO: {
            // Never smaller than designed: the buttons at the bottom would go out of sight.
            RECT outer{0, 0, Scale(wizard::kClientWidth), Scale(wizard::kClientHeight)};
            AdjustWindowRectEx(&outer, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT);
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            limits->ptMinTrackSize = {outer.right - outer.left, outer.bottom - outer.top};
            return 0;
        }
        case WM_NEXTDLGCTL: {
            // As in a dialog: the control named, or the next or previous that takes the focus.
            HWND target = LOWORD(lParam) != 0 ? reinterpret_cast<HWND>(wParam)
                                              : GetNextDlgTabItem(window_, GetFocus(), wParam != 0);
            if (target != nullptr) ::SetFocus(target);
            return 0;
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE && IsChild(window_, GetFocus())) focus_ = GetFocus();
            break;  // on activation the default handling gives the window the focus: below
        case WM_SETFOCUS:
            // The window itself takes no key: the control that had the focus gets it back.
            if (focus_ == nullptr || !Reachable(focus_)) {
                focus_ = GetNextDlgTabItem(window_, focus_, FALSE);
            }
            if (focus_ != nullptr) ::SetFocus(focus_);
            return 0;
        case WM_TIMER:
            if (wParam != kArrivalRetryTimer) break;
            KillTimer(window_, kArrivalRetryTimer);
            if (controller_ != nullptr && !closed_) controller_->OnArrivalRetry();
            return 0;
        case WM_QUERYENDSESSION:
            return controller_ == nullptr || AllowSessionEnd(window_, controller_->State());
        case WM_CLOSE:
            // The window stays (hidden) until the message loop has ended, so that an update
            // still running in the Next handler returns into intact controls. Closing the port
            // makes that update fail at its next exchange.
            if (!closed_) {
                closed_ = true;
                if (controller_ != nullptr) controller_->OnClose();
            }
            ShowWindow(window_, SW_HIDE);
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void Win32WizardWindow::Clicked(ControlId control) {
    if (controller_ == nullptr || closed_) return;
    switch (control) {
        case ControlId::btnNEXT:
            controller_->OnNext();
            break;
        case ControlId::btnBACK:
            controller_->OnBack();
            break;
        case ControlId::btnESC:
            controller_->OnCancel();
            break;
        case ControlId::btnConnect:
            controller_->OnConnect();
            break;
        default:
            break;  // the check box keeps its own state
    }
}

HBRUSH Win32WizardWindow::Colour(HDC dc, HWND control) {
    ControlId id;
    if (!ControlOfChild(control, id)) return GetSysColorBrush(COLOR_BTNFACE);
    const ControlLayout& layout = wizard::Layout(id);
    SetTextColor(dc, ColourRef(layout.colour));
    if (IsMark(layout.kind)) {
        SetBkMode(dc, TRANSPARENT);
        return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    }
    if (layout.kind == ControlKind::RichText) {
        // A read-only edit would take the button face; the welcome text is on the window's.
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return GetSysColorBrush(COLOR_WINDOW);
    }
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return GetSysColorBrush(COLOR_BTNFACE);
}

// The mark's glyph in its colour, centred at the top of its box, on whatever lies below it.
void Win32WizardWindow::DrawMark(const DRAWITEMSTRUCT& item, const ControlLayout& layout) {
    const wchar_t glyph =
        layout.kind == ControlKind::CheckMark ? fonts_.Marks().check : fonts_.Marks().cross;
    RECT box = item.rcItem;
    const HGDIOBJ previous = SelectObject(item.hDC, fonts_.Mark(layout.font.pixelHeight));
    SetTextColor(item.hDC, ColourRef(layout.colour));
    SetBkMode(item.hDC, TRANSPARENT);
    DrawTextW(item.hDC, &glyph, 1, &box, DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(item.hDC, previous);
}

// On the button face, each line one line height below the one before, as a list box of the
// same font and item height draws them.
void Win32WizardWindow::DrawTextBlock(const DRAWITEMSTRUCT& item, const ControlLayout& layout) {
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    const HGDIOBJ previous = SelectObject(item.hDC, fonts_.Font(layout.font));
    SetTextColor(item.hDC, ColourRef(layout.colour));
    SetBkMode(item.hDC, TRANSPARENT);
    int top = item.rcItem.top;
    for (const std::wstring& line : SplitLines(WindowTextOf(item.hwndItem))) {
        RECT row{item.rcItem.left + 1, top, item.rcItem.right, top + Scale(layout.lineHeight)};
        DrawTextW(item.hDC, line.c_str(), static_cast<int>(line.size()), &row,
                  DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
        top = row.bottom;
    }
    SelectObject(item.hDC, previous);
}

void Win32WizardWindow::DrawLogo(const DRAWITEMSTRUCT& item) const {
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    if (logo_ == nullptr) return;
    BITMAP bitmap{};
    GetObjectW(logo_, sizeof bitmap, &bitmap);
    HDC source = CreateCompatibleDC(item.hDC);
    const HGDIOBJ previous = SelectObject(source, logo_);
    // At the top-left corner, at its own size on a 96-DPI display and scaled with the rest.
    SetStretchBltMode(item.hDC, HALFTONE);
    StretchBlt(item.hDC, item.rcItem.left, item.rcItem.top, Scale(bitmap.bmWidth),
               Scale(bitmap.bmHeight), source, 0, 0, bitmap.bmWidth, bitmap.bmHeight, SRCCOPY);
    SelectObject(source, previous);
    DeleteDC(source);
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
    std::vector<std::wstring> lines = SplitLines(WindowTextOf(control));
    if (index < 0 || static_cast<std::size_t>(index) >= lines.size()) return;
    lines[static_cast<std::size_t>(index)] = WideFromUtf8(utf8);
    std::wstring text;
    for (std::size_t i = 0; i < lines.size(); ++i) text += (i > 0 ? L"\r\n" : L"") + lines[i];
    SetWindowTextW(control, text.c_str());
    InvalidateRect(control, nullptr, TRUE);
}

void Win32WizardWindow::SetBarPosition(ControlId bar, int position) {
    SendMessageW(Control(bar), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

bool Win32WizardWindow::IsKeepUserChecked() {
    return SendMessageW(Control(ControlId::cbKeepUser), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32WizardWindow::SetFocus(ControlId button) {
    // Before the window is shown, kept for its activation.
    focus_ = Control(button);
    if (GetActiveWindow() == window_) ::SetFocus(focus_);
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
