#pragma once
// The window's fonts, made once each at the display's scale: the table's fonts by family, pixel
// height and weight in the Cyrillic character set, and the font of the two marks.
#include <windows.h>

#include <map>
#include <string>
#include <string_view>
#include <tuple>

#include "wizard/layout_table.h"

namespace ostrel::win32 {

// The check mark and the cross: Wingdings 0xFC and 0xFB where the installed Wingdings has both
// glyphs, else U+2714 and U+2718 from a font that has those.
struct MarkFont {
    std::wstring family;
    BYTE charset;
    wchar_t check;
    wchar_t cross;
};
MarkFont ChooseMarkFont(HDC dc);

// Whether `font` has a glyph for every character of `text`, as GDI draws it.
bool HasGlyphs(HDC dc, HFONT font, const std::wstring& text);

// The face drawn for the table's `family` at `dpi`: "MS Sans Serif" (a bitmap face) as designed
// at 96 dpi, its TrueType twin "Microsoft Sans Serif" at every other scale; any other as named.
std::wstring FaceAtScale(std::string_view family, int dpi);

class FontSet {
  public:
    explicit FontSet(int dpi);
    ~FontSet();
    FontSet(const FontSet&) = delete;
    FontSet& operator=(const FontSet&) = delete;

    HFONT Font(const wizard::Font& font);
    HFONT Mark(int pixelHeight);
    const MarkFont& Marks() const { return marks_; }

  private:
    HFONT Make(const std::wstring& family, int pixelHeight, int weight, BYTE charset);

    int dpi_;
    MarkFont marks_;
    std::map<std::tuple<std::wstring, int, int>, HFONT> made_;
};

}  // namespace ostrel::win32
