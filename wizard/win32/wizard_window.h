#pragma once
// The wizard as a native Win32 window: plain controls placed from the layout table, scaled by
// the display's DPI, pages in a container without tabs. It forwards clicks and closing to the
// controller, and the controller changes what shows through WizardView. Its parts: the controls
// made from the table (wizard_window_controls.cpp), painting (wizard_window_paint.cpp), the
// focus (wizard_window_focus.cpp) and the window procedure (wizard_window_messages.cpp).
#include <windows.h>

#include <array>

#include "wizard/controller.h"
#include "wizard/layout_table.h"
#include "wizard/view.h"
#include "wizard/win32/fonts.h"

namespace ostrel::win32 {

class Win32WizardWindow final : public WizardView {
  public:
    // Builds the window and every control, hidden; at `dpi` dots per inch every position, size
    // and font height of the table is scaled by dpi / 96.
    Win32WizardWindow(HINSTANCE instance, int dpi);
    ~Win32WizardWindow() override;
    Win32WizardWindow(const Win32WizardWindow&) = delete;
    Win32WizardWindow& operator=(const Win32WizardWindow&) = delete;

    // Clicks and closing go to `controller` from now on.
    void Attach(WizardController& controller) { controller_ = &controller; }

    HWND Window() const { return window_; }
    HWND Control(wizard::ControlId id) const { return controls_[static_cast<std::size_t>(id)]; }
    HWND Page(int page) const { return pages_[static_cast<std::size_t>(page - 1)]; }
    const MarkFont& Marks() const { return fonts_.Marks(); }

    // WizardView
    void ShowPage(int page) override;
    void SetVisible(wizard::ControlId control, bool visible) override;
    void SetEnabled(wizard::ControlId button, bool enabled) override;
    void SetCaption(wizard::ControlId button, std::string_view utf8) override;
    void SetLine(wizard::ControlId block, int index, std::string_view utf8) override;
    void SetBarPosition(wizard::ControlId bar, int position) override;
    bool IsKeepUserChecked() override;
    void SetFocus(wizard::ControlId button) override;
    void Announce(wizard::ControlId shown) override;
    void ProcessPendingEvents() override;
    void CloseWindow() override;
    void StartRetryTimer(int milliseconds) override;

  private:
    // The timer that looks for a plugged-in adapter's port again.
    static constexpr UINT_PTR kArrivalRetryTimer = 1;

    int Scale(int pixels) const { return wizard::Scaled(pixels, dpi_); }
    RECT Scale(const wizard::Rect& designed) const;

    // Controls.
    void KeepWithinWorkArea();
    void CreateControls(HINSTANCE instance);
    HWND CreateControl(HINSTANCE instance, const wizard::ControlLayout& layout, HWND parent);
    void LayOutPages(int clientWidth, int clientHeight);
    // The frame around the designed client area at this scale: also the smallest.
    SIZE OuterSize() const;

    // Painting.
    HBRUSH Colour(HDC dc, HWND control);
    void DrawItem(const DRAWITEMSTRUCT& item);
    void DrawLogo(const DRAWITEMSTRUCT& item) const;
    void DrawMark(const DRAWITEMSTRUCT& item, const wizard::ControlLayout& layout);
    void DrawTextBlock(const DRAWITEMSTRUCT& item, const wizard::ControlLayout& layout);

    // Focus.
    void Deactivated();
    void FocusReturned();
    void FocusNext(WPARAM wParam, LPARAM lParam);
    bool Reachable(HWND control) const;
    bool HasFocusIn(HWND control) const;
    void MoveFocusOnFrom(HWND control);

    // Messages.
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    int dpi_;
    HWND window_ = nullptr;
    FontSet fonts_;
    HBITMAP logo_ = nullptr;
    std::array<HWND, wizard::kControlCount> controls_{};
    std::array<HWND, wizard::kPageCount> pages_{};
    WizardController* controller_ = nullptr;
    HWND focus_ = nullptr;  // the control that gets the focus when the window is activated
};

// The display's DPI as this program sees it: the system's, since the manifest declares the
// program DPI-aware.
int SystemDpi();

}  // namespace ostrel::win32
