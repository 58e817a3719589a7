#pragma once
// The wizard window as plain data that every view renders: each control's identifier, kind,
// page, place and size (pixels at 96 dots per inch), font, colour, alignment and text.
#include <cstdint>
#include <span>

#include "wizard/texts.h"

namespace ostrel::wizard {

// Every control of the window, in the order the views create them; the names double as the
// controls' identifiers (object names on Qt, window names on Win32).
enum class ControlId : std::uint8_t {
    // Frame.
    Image6,
    ListBoxVer,
    PageControl1,
    Panel1,
    btnESC,
    btnBACK,
    btnNEXT,
    // Page 1.
    RichEdit1,
    // Page 2.
    ListBox1,
    // Page 3.
    Label1,
    lbConnected,
    lbNotConnected,
    ListBox6,
    txtConnFail,
    txtConnOK,
    btnConnect,
    ListBox2,
    cbKeepUser,
    // Page 4.
    lbWrite,
    BarWrite,
    lbWriteOn,
    lbWriteOK,
    lbWriteErr,
    lbVerify,
    BarVerify,
    lbVerifyOn,
    lbVerifyOK,
    lbVerifyErr,
    txtWriteOK,
    txtWriteFail,
    ListWriteOK,
    ListWriteFail,
    // Page 5.
    ListBox4,
};
inline constexpr int kControlCount = 33;

enum class ControlKind : std::uint8_t {
    Picture,        // the logo, unscaled at the top-left corner
    TextBlock,      // borderless list box on the button face, one item per line
    PageContainer,  // the five pages, switched by the program only
    Panel,          // blank, no bevel, button face
    Button,
    RichText,  // read-only, both scroll bars, window background
    Label,
    CheckMark,  // the check mark or the cross of a symbol font (see MarkGlyph)
    CrossMark,
    CheckBox,
    ProgressBar,  // 0 to 100
};

enum class Align : std::uint8_t { Left, Right, Centre };
enum class Colour : std::uint8_t { WindowText, Green, Red, Olive };

struct Rgb {
    std::uint8_t red, green, blue;
    bool operator==(const Rgb&) const = default;
};
// WindowText has no fixed value: the system's window-text colour.
Rgb RgbOf(Colour colour);

struct Rect {
    int left, top, width, height;
    bool operator==(const Rect&) const = default;
};

inline constexpr int kRegular = 400;
inline constexpr int kBold = 700;

struct Font {
    const char* family;
    int pixelHeight;
    int weight;  // kRegular or kBold
};

struct ControlLayout {
    ControlId id;
    const char* name;
    ControlKind kind;
    int page;       // 0: the frame, in the client area; 1 to 5: in that page's content area
    Rect geometry;  // as designed; PageControl1 also follows the window's size (below)
    Font font;
    Colour colour;
    Align align;
    int lineHeight;      // text blocks: pixels per item
    texts::Lines lines;  // UTF-8; one line for labels, buttons and the check box
};

// All controls in ControlId order.
std::span<const ControlLayout> Controls();
const ControlLayout& Layout(ControlId id);
inline constexpr int kPageCount = 5;
// The pages' identifiers, TabSheet1 to TabSheet5.
const char* PageName(int page);

// The window: no title, its designed client size is also its smallest.
inline constexpr int kWindowLeft = 368;
inline constexpr int kWindowTop = 173;
inline constexpr int kClientWidth = 622;
inline constexpr int kClientHeight = 424;
inline constexpr Font kWindowFont{"MS Sans Serif", 11, kRegular};
// Where a page's content area lies inside PageControl1: below the band a tab strip would take.
inline constexpr int kPageContentLeft = 4;
inline constexpr int kPageContentTop = 24;
inline constexpr int kPageContentRight = 4;
inline constexpr int kPageContentBottom = 4;
// At `dpi` dots per inch a length is scaled by dpi / 96 to the nearest pixel, and a rectangle by
// its edges rather than its size, so that controls designed to share an edge still do.
inline constexpr int kDesignDpi = 96;
int Scaled(int pixels, int dpi);
Rect Scaled(const Rect& designed, int dpi);
// On resize PageControl1 keeps its width and its distances to the top, right and bottom edges;
// every other control stays where it is. The client size and the result are at `dpi`.
Rect PageContainerGeometry(int clientWidth, int clientHeight, int dpi = kDesignDpi);

// The controls that show a result, a connection made or not or an update's end: a screen reader
// is told of each as it shows.
inline constexpr ControlId kResults[] = {ControlId::lbConnected, ControlId::lbNotConnected,
                                         ControlId::lbWriteErr, ControlId::lbVerifyErr,
                                         ControlId::ListWriteOK};

// The marks in the symbol font ("Wingdings"), and the same marks in Unicode for a view whose
// Wingdings lacks them.
struct MarkGlyph {
    std::uint8_t symbolCode;  // 0xFC check mark, 0xFB cross
    char32_t unicode;         // U+2714, U+2718
    const char* utf8;
};
MarkGlyph MarkGlyphOf(ControlKind kind);
inline bool IsMark(ControlKind kind) {
    return kind == ControlKind::CheckMark || kind == ControlKind::CrossMark;
}

}  // namespace ostrel::wizard
