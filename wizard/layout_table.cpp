#include "wizard/layout_table.h"

#include <array>

namespace ostrel::wizard {
namespace {

using Id = ControlId;
using Kind = ControlKind;

constexpr const char kSans[] = "MS Sans Serif";
constexpr const char kSymbol[] = "Wingdings";
constexpr Font kNormal{kSans, 11, kRegular};
constexpr Font kTitle{kSans, 19, kBold};
constexpr Font kState{kSans, 16, kBold};
constexpr Font kNote{kSans, 13, kBold};
constexpr Font kMark{kSymbol, 64, kRegular};

// The one line of a label, button or check box.
constexpr const char* kCancel[] = {texts::kCancel};
constexpr const char* kBack[] = {texts::kBack};
constexpr const char* kNext[] = {texts::kNext};
constexpr const char* kConnection[] = {texts::kConnection};
constexpr const char* kConnected[] = {texts::kConnected};
constexpr const char* kNotConnected[] = {texts::kNotConnected};
constexpr const char* kConnect[] = {texts::kConnect};
constexpr const char* kKeepUser[] = {texts::kKeepUser};
constexpr const char* kWriteTitle[] = {texts::kWriteTitle};
constexpr const char* kVerifyTitle[] = {texts::kVerifyTitle};
constexpr const char* kExchange[] = {texts::kExchange};
constexpr const char* kStateOK[] = {texts::kStateOK};
constexpr const char* kStateError[] = {texts::kStateError};

constexpr Colour kPlain = Colour::WindowText;

using Table = std::array<ControlLayout, kControlCount>;

// Built on first use: the text blocks' lines come from functions of another file. The boxes of
// the marks fit the Wingdings glyphs; centring keeps a substitute font's wider mark inside too.
const Table& ControlTable() {
    // clang-format off
    static const Table table = {{
        {Id::Image6, "Image6", Kind::Picture, 0, {16, 40, 153, 89}, kNormal, kPlain, Align::Left, 0, {}},
        {Id::ListBoxVer, "ListBoxVer", Kind::TextBlock, 0, {16, 168, 153, 193}, kNormal, kPlain, Align::Left, 13, texts::VersionBlock()},
        {Id::PageControl1, "PageControl1", Kind::PageContainer, 0, {192, 0, 417, 345}, kNormal, kPlain, Align::Left, 0, {}},
        {Id::Panel1, "Panel1", Kind::Panel, 0, {104, 0, 177, 33}, kNormal, kPlain, Align::Left, 0, {}},
        {Id::btnESC, "btnESC", Kind::Button, 0, {200, 360, 89, 25}, kNormal, kPlain, Align::Centre, 0, kCancel},
        {Id::btnBACK, "btnBACK", Kind::Button, 0, {344, 360, 89, 25}, kNormal, kPlain, Align::Centre, 0, kBack},
        {Id::btnNEXT, "btnNEXT", Kind::Button, 0, {488, 359, 89, 25}, kNormal, kPlain, Align::Centre, 0, kNext},

        {Id::RichEdit1, "RichEdit1", Kind::RichText, 1, {0, 16, 401, 289}, {kSans, 17, kRegular}, kPlain, Align::Left, 0, texts::WelcomeText()},

        {Id::ListBox1, "ListBox1", Kind::TextBlock, 2, {0, 16, 377, 289}, kNote, kPlain, Align::Left, 16, texts::PreparationSteps()},

        {Id::Label1, "Label1", Kind::Label, 3, {8, 16, 150, 24}, kTitle, kPlain, Align::Left, 0, kConnection},
        {Id::lbConnected, "lbConnected", Kind::Label, 3, {248, 24, 135, 20}, kState, Colour::Green, Align::Right, 0, kConnected},
        {Id::lbNotConnected, "lbNotConnected", Kind::Label, 3, {218, 24, 165, 20}, kState, Colour::Red, Align::Right, 0, kNotConnected},
        {Id::ListBox6, "ListBox6", Kind::TextBlock, 3, {8, 40, 209, 33}, kNormal, kPlain, Align::Left, 13, texts::ConnectionHint()},
        {Id::txtConnFail, "txtConnFail", Kind::CrossMark, 3, {232, 40, 45, 75}, kMark, Colour::Red, Align::Centre, 0, {}},
        {Id::txtConnOK, "txtConnOK", Kind::CheckMark, 3, {312, 40, 54, 75}, kMark, Colour::Green, Align::Centre, 0, {}},
        {Id::btnConnect, "btnConnect", Kind::Button, 3, {8, 80, 89, 25}, kNormal, kPlain, Align::Centre, 0, kConnect},
        {Id::ListBox2, "ListBox2", Kind::TextBlock, 3, {0, 120, 377, 153}, kNote, kPlain, Align::Left, 16, texts::SettingsNote()},
        {Id::cbKeepUser, "cbKeepUser", Kind::CheckBox, 3, {0, 280, 377, 33}, {kSans, 16, kRegular}, kPlain, Align::Left, 0, kKeepUser},

        {Id::lbWrite, "lbWrite", Kind::Label, 4, {0, 16, 114, 24}, kTitle, kPlain, Align::Left, 0, kWriteTitle},
        {Id::BarWrite, "BarWrite", Kind::ProgressBar, 4, {0, 48, 273, 17}, kNormal, kPlain, Align::Left, 0, {}},
        {Id::lbWriteOn, "lbWriteOn", Kind::Label, 4, {326, 48, 65, 20}, kState, Colour::Olive, Align::Right, 0, kExchange},
        {Id::lbWriteOK, "lbWriteOK", Kind::Label, 4, {366, 48, 25, 20}, kState, Colour::Green, Align::Right, 0, kStateOK},
        {Id::lbWriteErr, "lbWriteErr", Kind::Label, 4, {301, 48, 90, 20}, kState, Colour::Red, Align::Right, 0, kStateError},
        {Id::lbVerify, "lbVerify", Kind::Label, 4, {0, 88, 117, 24}, kTitle, kPlain, Align::Left, 0, kVerifyTitle},
        {Id::BarVerify, "BarVerify", Kind::ProgressBar, 4, {0, 120, 273, 17}, kNormal, kPlain, Align::Left, 0, {}},
        {Id::lbVerifyOn, "lbVerifyOn", Kind::Label, 4, {326, 120, 65, 20}, kState, Colour::Olive, Align::Right, 0, kExchange},
        {Id::lbVerifyOK, "lbVerifyOK", Kind::Label, 4, {366, 120, 25, 20}, kState, Colour::Green, Align::Right, 0, kStateOK},
        {Id::lbVerifyErr, "lbVerifyErr", Kind::Label, 4, {301, 120, 90, 20}, kState, Colour::Red, Align::Right, 0, kStateError},
        {Id::txtWriteOK, "txtWriteOK", Kind::CheckMark, 4, {8, 184, 54, 75}, kMark, Colour::Green, Align::Centre, 0, {}},
        {Id::txtWriteFail, "txtWriteFail", Kind::CrossMark, 4, {8, 192, 45, 75}, kMark, Colour::Red, Align::Centre, 0, {}},
        {Id::ListWriteOK, "ListWriteOK", Kind::TextBlock, 4, {64, 192, 281, 49}, kNote, kPlain, Align::Left, 16, texts::SuccessNote()},
        {Id::ListWriteFail, "ListWriteFail", Kind::TextBlock, 4, {64, 208, 281, 49}, kNote, kPlain, Align::Left, 16, texts::FailureNote()},

        {Id::ListBox4, "ListBox4", Kind::TextBlock, 5, {0, 32, 377, 241}, kNote, kPlain, Align::Left, 16, texts::ClosingText()},
    }};
    // clang-format on
    return table;
}

constexpr const char* kPageNames[kPageCount] = {"TabSheet1", "TabSheet2", "TabSheet3", "TabSheet4",
                                                "TabSheet5"};

}  // namespace

Rgb RgbOf(Colour colour) {
    switch (colour) {
        case Colour::Green:
            return {0, 128, 0};
        case Colour::Red:
            return {255, 0, 0};
        case Colour::Olive:
            return {128, 128, 0};
        case Colour::WindowText:
            break;
    }
    return {0, 0, 0};
}

std::span<const ControlLayout> Controls() {
    return ControlTable();
}

const ControlLayout& Layout(ControlId id) {
    return ControlTable()[static_cast<std::size_t>(id)];
}

const char* PageName(int page) {
    return kPageNames[page - 1];
}

int Scaled(int pixels, int dpi) {
    return (pixels * dpi + kDesignDpi / 2) / kDesignDpi;
}

Rect Scaled(const Rect& designed, int dpi) {
    const int left = Scaled(designed.left, dpi);
    const int top = Scaled(designed.top, dpi);
    return {left, top, Scaled(designed.left + designed.width, dpi) - left,
            Scaled(designed.top + designed.height, dpi) - top};
}

Rect PageContainerGeometry(int clientWidth, int clientHeight, int dpi) {
    const Rect designed = Scaled(Layout(ControlId::PageControl1).geometry, dpi);
    const int rightGap = Scaled(kClientWidth, dpi) - (designed.left + designed.width);
    const int bottomGap = Scaled(kClientHeight, dpi) - (designed.top + designed.height);
    const int height = clientHeight - designed.top - bottomGap;
    return {clientWidth - rightGap - designed.width, designed.top, designed.width,
            height > 0 ? height : 0};
}

MarkGlyph MarkGlyphOf(ControlKind kind) {
    if (kind == ControlKind::CrossMark) return {0xFB, U'\u2718', "\u2718"};
    return {0xFC, U'\u2714', "\u2714"};
}

}  // namespace ostrel::wizard
