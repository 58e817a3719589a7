// Painting: the colours the window gives its controls, and the controls it draws itself (the
// logo, the marks, the text blocks).
#include <string>

#include "wizard/win32/child_controls.h"
#include "wizard/win32/text_lines.h"
#include "wizard/win32/wizard_window.h"

namespace ostrel::win32 {
namespace {

using wizard::ControlId;
using wizard::ControlKind;
using wizard::ControlLayout;

COLORREF ColourRef(wizard::Colour colour) {
    if (colour == wizard::Colour::WindowText) return GetSysColor(COLOR_WINDOWTEXT);
    const wizard::Rgb rgb = wizard::RgbOf(colour);
    return RGB(rgb.red, rgb.green, rgb.blue);
}

}  // namespace

HBRUSH Win32WizardWindow::Colour(HDC dc, HWND control) {
    ControlId id;
    if (!ControlOfChild(control, id)) return GetSysColorBrush(COLOR_BTNFACE);
    const ControlLayout& layout = wizard::Layout(id);
    SetTextColor(dc, ColourRef(layout.colour));
    if (wizard::IsMark(layout.kind)) {
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

void Win32WizardWindow::DrawItem(const DRAWITEMSTRUCT& item) {
    ControlId id;
    if (!ControlOfChild(item.hwndItem, id)) return;
    const ControlLayout& layout = wizard::Layout(id);
    if (wizard::IsMark(layout.kind)) {
        DrawMark(item, layout);
    } else if (layout.kind == ControlKind::TextBlock) {
        DrawTextBlock(item, layout);
    } else {
        DrawLogo(item);
    }
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
    for (const std::wstring& line : LinesOf(item.hwndItem)) {
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

}  // namespace ostrel::win32
