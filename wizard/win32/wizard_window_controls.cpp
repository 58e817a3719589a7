// The window and its controls, made from the layout table and scaled by the display's DPI; the
// page container follows the window's size by the table's rule.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include <algorithm>
#include <string>

#include "device/win32/wide_text.h"
#include "wizard/win32/child_controls.h"
#include "wizard/win32/text_lines.h"
#include "wizard/win32/wizard_window.h"

namespace ostrel::win32 {
namespace {

using wizard::ControlId;
using wizard::ControlKind;
using wizard::ControlLayout;

constexpr wchar_t kWindowClass[] = L"OstrelUpdater";
// The page container, its pages and the blank panel: panes that paint the button face and hand
// their controls' notifications to the window.
constexpr wchar_t kPaneClass[] = L"OstrelPane";
constexpr DWORD kFrameStyle = WS_OVERLAPPEDWINDOW;
constexpr DWORD kFrameExStyle = WS_EX_CONTROLPARENT;

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
    return dpi > 0 ? dpi : wizard::kDesignDpi;
}

Win32WizardWindow::Win32WizardWindow(HINSTANCE instance, int dpi) : dpi_(dpi), fonts_(dpi) {
    RegisterClasses(instance, &WindowProc, &PaneProc);
    logo_ = static_cast<HBITMAP>(
        LoadImageW(instance, L"LOGO", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));

    const SIZE outer = OuterSize();
    CreateWindowExW(kFrameExStyle, kWindowClass, L"", kFrameStyle, Scale(wizard::kWindowLeft),
                    Scale(wizard::kWindowTop), outer.cx, outer.cy, nullptr, nullptr, instance,
                    this);
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

SIZE Win32WizardWindow::OuterSize() const {
    RECT outer{0, 0, Scale(wizard::kClientWidth), Scale(wizard::kClientHeight)};
    AdjustWindowRectEx(&outer, kFrameStyle, FALSE, kFrameExStyle);
    return {outer.right - outer.left, outer.bottom - outer.top};
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
    const wizard::Rect r = wizard::Scaled(designed, dpi_);
    return {r.left, r.top, r.left + r.width, r.top + r.height};
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
            text = JoinedLines(layout.lines);
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
            text = JoinedLines(layout.lines);
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
    const HFONT font = wizard::IsMark(layout.kind) ? fonts_.Mark(layout.font.pixelHeight)
                                                   : fonts_.Font(layout.font);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (layout.kind == ControlKind::ProgressBar) {
        SendMessageW(control, PBM_SETRANGE32, 0, 100);
    } else if (layout.kind == ControlKind::Label) {
        // Of two labels on one spot the later one covers the earlier ("ОШИБКА!!!" over "ОК").
        SetWindowPos(control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    } else if (wizard::IsMark(layout.kind)) {
        // A mark draws no background and lies below the labels, so it never cuts into them.
        SetWindowPos(control, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    return control;
}

void Win32WizardWindow::LayOutPages(int clientWidth, int clientHeight) {
    HWND container = Control(ControlId::PageControl1);
    if (container == nullptr) return;
    const wizard::Rect place = wizard::PageContainerGeometry(clientWidth, clientHeight, dpi_);
    MoveWindow(container, place.left, place.top, place.width, place.height, TRUE);
    const int left = Scale(wizard::kPageContentLeft);
    const int top = Scale(wizard::kPageContentTop);
    for (HWND page : pages_) {
        MoveWindow(page, left, top,
                   std::max(0, place.width - left - Scale(wizard::kPageContentRight)),
                   std::max(0, place.height - top - Scale(wizard::kPageContentBottom)), TRUE);
    }
}

}  // namespace ostrel::win32
