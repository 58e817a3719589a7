#include "wizard/win32/fonts.h"

#include <array>

#include "device/win32/wide_text.h"

namespace ostrel::win32 {
namespace {

// The symbol font's characters lie in the private-use range at 0xF000.
constexpr wchar_t kSymbolBase = 0xF000;

// Where Wingdings lacks a mark (Wine's has no cross), the Unicode marks of these, in order.
constexpr std::array<const wchar_t*, 3> kUnicodeMarkFamilies = {L"Segoe UI Symbol", L"DejaVu Sans",
                                                                L"Arial Unicode MS"};

HFONT MakeFont(const std::wstring& family, int height, int weight, BYTE charset) {
    LOGFONTW font{};
    font.lfHeight = -height;  // the character height, as the layout gives it
    font.lfWeight = weight;
    font.lfCharSet = charset;
    font.lfQuality = DEFAULT_QUALITY;
    lstrcpynW(font.lfFaceName, family.c_str(), LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

// A family the system replaced by another is not the one asked for.
bool IsFamily(HDC dc, HFONT font, const std::wstring& family) {
    const HGDIOBJ previous = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    SelectObject(dc, previous);
    return lstrcmpiW(face, family.c_str()) == 0;
}

}  // namespace

bool HasGlyphs(HDC dc, HFONT font, const std::wstring& text) {
    const HGDIOBJ previous = SelectObject(dc, font);
    std::wstring indices(text.size(), L'\0');
    const DWORD converted =
        GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()),
                         reinterpret_cast<WORD*>(indices.data()), GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, previous);
    if (converted != text.size()) return false;
    for (wchar_t index : indices) {
        if (index == 0xFFFF) return false;
    }
    return true;
}

MarkFont ChooseMarkFont(HDC dc) {
    MarkFont wingdings{L"Wingdings", SYMBOL_CHARSET, kSymbolBase + 0xFC, kSymbolBase + 0xFB};
    MarkFont unicode{kUnicodeMarkFamilies.back(), DEFAULT_CHARSET, L'\u2714', L'\u2718'};
    const std::wstring wingdingsMarks{wingdings.check, wingdings.cross};
    const std::wstring unicodeMarks{unicode.check, unicode.cross};
    HFONT font = MakeFont(wingdings.family, 64, FW_NORMAL, SYMBOL_CHARSET);
    const bool hasWingdings =
        IsFamily(dc, font, wingdings.family) && HasGlyphs(dc, font, wingdingsMarks);
    DeleteObject(font);
    if (hasWingdings) return wingdings;
    for (const wchar_t* family : kUnicodeMarkFamilies) {
        font = MakeFont(family, 64, FW_NORMAL, DEFAULT_CHARSET);
        const bool found = IsFamily(dc, font, family) && HasGlyphs(dc, font, unicodeMarks);
        DeleteObject(font);
        if (found) {
            unicode.family = family;
            break;
        }
    }
    return unicode;
}

FontSet::FontSet(int dpi) : dpi_(dpi) {
    HDC screen = GetDC(nullptr);
    marks_ = ChooseMarkFont(screen);
    ReleaseDC(nullptr, screen);
}

FontSet::~FontSet() {
    for (const auto& [key, font] : made_) DeleteObject(font);
}

HFONT FontSet::Make(const std::wstring& family, int pixelHeight, int weight, BYTE charset) {
    auto& font = made_[{family, pixelHeight, weight}];
    if (font == nullptr) font = MakeFont(family, MulDiv(pixelHeight, dpi_, 96), weight, charset);
    return font;
}

std::wstring FaceAtScale(std::string_view family, int dpi) {
    // A bitmap face exists in a few sizes only; at another scale Windows would draw the nearest,
    // smaller than its box and blocky. The TrueType face of the same design scales.
    if (family == "MS Sans Serif" && dpi != 96) return L"Microsoft Sans Serif";
    return WideFromUtf8(family);
}

HFONT FontSet::Font(const wizard::Font& font) {
    return Make(FaceAtScale(font.family, dpi_), font.pixelHeight, font.weight, RUSSIAN_CHARSET);
}

HFONT FontSet::Mark(int pixelHeight) {
    return Make(marks_.family, pixelHeight, FW_NORMAL, marks_.charset);
}

}  // namespace ostrel::win32
