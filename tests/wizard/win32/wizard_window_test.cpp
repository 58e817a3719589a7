// The Win32 window: every control where the layout table puts it (scaled by the DPI), in its
// font and colour, with its text; the frame's sizing rules; keys, clicks, closing and the idle
// step reaching the controller; and a bridge arrival bringing page 3 under Wine.
#include "wizard/win32/wizard_window.h"

#include <gtest/gtest.h>
#include <oleacc.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "device/notification_record.h"
#include "device/serial_port.h"
#include "device/win32/device_events.h"
#include "device/win32/wide_text.h"
#include "sim/sim_port_directory.h"
#include "tests/windows/support/wine_peer.h"
#include "wizard/win32/fonts.h"
#include "wizard/win32/message_loop.h"

namespace ostrel::wizard {
inline void PrintTo(ControlId id, std::ostream* out) {
    *out << Layout(id).name;
}
}  // namespace ostrel::wizard

namespace ostrel::win32 {
namespace {

using wizard::ControlId;
using wizard::ControlKind;
using wizard::ControlLayout;

// Ends a message loop that would otherwise wait for ever, so that a fault fails the test rather
// than hanging it. It never fires in a passing run.
class LoopGuard {
  public:
    LoopGuard() : timer_(SetTimer(nullptr, 0, 10000, &Fire)) { fired_ = false; }
    ~LoopGuard() { KillTimer(nullptr, timer_); }
    static bool Fired() { return fired_; }

  private:
    static void CALLBACK Fire(HWND, UINT, UINT_PTR, DWORD) {
        fired_ = true;
        PostQuitMessage(0);
    }
    static inline bool fired_ = false;
    UINT_PTR timer_;
};

// Shown by its own style, whether or not the window itself is on screen.
bool Shown(HWND control) {
    return (GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

// The window with the controller behind it, started as the program starts it (no device watch,
// and a port directory that finds nothing unless a test says so).
struct Wizard {
    explicit Wizard(int dpi, WizardController::DeviceWatchRegistration watch = nullptr)
        : window(GetModuleHandleW(nullptr), dpi),
          port(MakeSerialPort()),
          controller(window, *port, directory, std::move(watch)) {
        window.Attach(controller);
        controller.OnCreate();
    }
    bool Visible(ControlId id) const { return Shown(window.Control(id)); }
    bool Enabled(ControlId id) const { return IsWindowEnabled(window.Control(id)) != FALSE; }
    void Click(ControlId id) { SendMessageW(window.Control(id), BM_CLICK, 0, 0); }

    Win32WizardWindow window;
    sim::SimPortDirectory directory;
    std::unique_ptr<SerialPort> port;
    WizardController controller;
};

// A control's rectangle in its parent's client coordinates.
RECT PlaceOf(HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::string Text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
           std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

std::wstring WindowText(HWND control) {
    wchar_t text[2048] = {};
    GetWindowTextW(control, text, 2048);
    return text;
}

LOGFONTW FontOf(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return font;
}

// The text colour the window gives a control as it paints.
COLORREF TextColourOf(HWND control, UINT message) {
    HDC dc = CreateCompatibleDC(nullptr);
    SendMessageW(GetParent(control), message, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(control));
    const COLORREF colour = GetTextColor(dc);
    DeleteDC(dc);
    return colour;
}

int TextWidth(HWND control, const std::wstring& text) {
    HDC dc = GetDC(control);
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return size.cx;
}

// A line of a text block as OnCreate leaves it: the version and date filled in.
std::wstring ExpectedLine(const ControlLayout& layout, std::size_t index) {
    if (layout.id != ControlId::ListBoxVer) return WideFromUtf8(layout.lines[index]);
    if (index == texts::kVersionLineIndex) return L"версия: v2.2.5 R27";
    if (index == texts::kDateLineIndex) return L"дата: 11.11.2012";
    return WideFromUtf8(layout.lines[index]);
}

// At 96 dpi every control where the table puts it, in its font; at either scale each text as
// the table has it, fitting its box, in its colour.
class Win32WindowLayout : public ::testing::TestWithParam<int> {};

TEST_P(Win32WindowLayout, PlacesEveryControlOfTheTable) {
    const int dpi = GetParam();
    Wizard wizard(dpi);
    const Win32WizardWindow& window = wizard.window;
    EXPECT_EQ(WindowText(window.Window()), L"") << "no title";
    for (int page = 1; page <= wizard::kPageCount; ++page) {
        EXPECT_EQ(GetParent(window.Page(page)), window.Control(ControlId::PageControl1));
    }

    for (const ControlLayout& layout : wizard::Controls()) {
        SCOPED_TRACE(layout.name);
        HWND control = window.Control(layout.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(GetParent(control),
                  layout.page == 0 ? window.Window() : window.Page(layout.page));
        const RECT place = PlaceOf(control);
        const int width = place.right - place.left;
        const LOGFONTW font = FontOf(control);
        const bool mark = wizard::IsMark(layout.kind);
        const bool text = !layout.lines.empty() || mark;
        if (dpi == 96) {
            const wizard::Rect& g = layout.geometry;
            EXPECT_EQ(Text(place), Text(RECT{g.left, g.top, g.left + g.width, g.top + g.height}));
            if (text) {
                EXPECT_EQ(font.lfHeight, -layout.font.pixelHeight);
            }
        }
        if (text && !mark) {
            // The bitmap face as designed at 96 dpi; its TrueType twin at any other scale.
            const bool bitmapFace = layout.font.family == std::string_view("MS Sans Serif");
            EXPECT_EQ(std::wstring(font.lfFaceName), bitmapFace && dpi != 96
                                                         ? L"Microsoft Sans Serif"
                                                         : WideFromUtf8(layout.font.family));
            EXPECT_EQ(font.lfWeight, layout.font.weight);
            EXPECT_EQ(font.lfCharSet, RUSSIAN_CHARSET);
        }

        const std::wstring caption = WindowText(control);
        switch (layout.kind) {
            case ControlKind::Label: {
                const wizard::Rgb rgb = wizard::RgbOf(layout.colour);
                EXPECT_EQ(TextColourOf(control, WM_CTLCOLORSTATIC),
                          layout.colour == wizard::Colour::WindowText
                              ? GetSysColor(COLOR_WINDOWTEXT)
                              : RGB(rgb.red, rgb.green, rgb.blue));
                [[fallthrough]];
            }
            case ControlKind::Button:
                EXPECT_EQ(caption, WideFromUtf8(layout.lines[0]));
                EXPECT_LE(TextWidth(control, caption), width) << "the caption does not fit its box";
                break;
            case ControlKind::CheckBox:
                EXPECT_EQ(caption, WideFromUtf8(layout.lines[0]));
                EXPECT_LE(TextWidth(control, caption) + GetSystemMetrics(SM_CXMENUCHECK) + 4,
                          width);
                break;
            case ControlKind::TextBlock:
            case ControlKind::RichText: {
                // One text, as a screen reader reads it: the lines with a break between each two.
                std::wstring joined;
                for (std::size_t i = 0; i < layout.lines.size(); ++i) {
                    const std::wstring line = ExpectedLine(layout, i);
                    joined += (i > 0 ? L"\r\n" : L"") + line;
                    if (layout.kind == ControlKind::TextBlock) {
                        EXPECT_LE(TextWidth(control, line), width)
                            << "line " << i + 1 << " overruns";
                    }
                }
                EXPECT_EQ(caption, joined);
                break;
            }
            case ControlKind::CheckMark:
            case ControlKind::CrossMark: {
                // Named by its meaning; drawn as the mark the symbol font or the Unicode font
                // has, in a font that has it.
                const bool check = layout.kind == ControlKind::CheckMark;
                EXPECT_EQ(caption,
                          WideFromUtf8(check ? texts::kCheckMarkName : texts::kCrossMarkName));
                EXPECT_EQ(GetWindowLongPtrW(control, GWL_STYLE) & SS_TYPEMASK, SS_OWNERDRAW);
                const MarkFont& marks = window.Marks();
                HDC dc = GetDC(control);
                EXPECT_TRUE(
                    HasGlyphs(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)),
                              std::wstring(1, check ? marks.check : marks.cross)));
                ReleaseDC(control, dc);
                break;
            }
            default:
                break;
        }
    }
}

std::string DpiName(const ::testing::TestParamInfo<int>& dpi) {
    return "Dpi" + std::to_string(dpi.param);
}

// 96: as designed; 144: the system's text size at 150 %.
INSTANTIATE_TEST_SUITE_P(Scales, Win32WindowLayout, ::testing::Values(96, 144), DpiName);

// At 150 % every edge is scaled, to the nearest pixel: labels designed to share their right
// edge still do, and so do the page container and the frame.
TEST(Win32Window, ScalesEdgesToTheNearestPixelAt150Percent) {
    Wizard wizard(144);
    RECT client;
    GetClientRect(wizard.window.Window(), &client);
    EXPECT_EQ(Text(client), "0,0 933x636");
    struct Row {
        ControlId id;
        const char* place;
        int fontHeight;  // 0: no text
    };
    const Row rows[] = {
        {ControlId::btnNEXT, "732,539 134x37", 17},
        {ControlId::Label1, "12,24 225x36", 29},
        {ControlId::lbConnected, "372,36 203x30", 24},
        {ControlId::lbNotConnected, "327,36 248x30", 24},
        {ControlId::txtConnOK, "468,60 81x113", 96},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(wizard::Layout(row.id).name);
        EXPECT_EQ(Text(PlaceOf(wizard.window.Control(row.id))), row.place);
        if (row.fontHeight > 0) {
            EXPECT_EQ(FontOf(wizard.window.Control(row.id)).lfHeight, -row.fontHeight);
        }
    }
}

// The program's icon has an image for each size Windows asks for at the usual scales, in 32-bit
// colour with alpha.
TEST(Win32Window, ProgramIconHasEverySizeInFullColour) {
    wchar_t self[MAX_PATH];
    std::wstring program(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    program = program.substr(0, program.find_last_of(L'\\') + 1) + L"ostrel-updater.exe";
    HMODULE updater = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(updater, nullptr);
    HRSRC group = FindResourceW(updater, L"MAINICON", MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const auto* directory = static_cast<const BYTE*>(LockResource(LoadResource(updater, group)));
    ASSERT_NE(directory, nullptr);
    // A group: reserved, type and count (2 bytes each), then 14-byte entries: width, height
    // (0 for 256), colours, reserved, planes (2), bits per pixel (2), size (4), id (2).
    const int count = directory[4] | directory[5] << 8;
    std::vector<std::pair<int, int>> images;
    for (int i = 0; i < count; ++i) {
        const BYTE* entry = directory + 6 + 14 * i;
        images.emplace_back(entry[0] == 0 ? 256 : entry[0], entry[6] | entry[7] << 8);
    }
    std::sort(images.begin(), images.end());
    EXPECT_EQ(images, (std::vector<std::pair<int, int>>{
                          {16, 32}, {24, 32}, {32, 32}, {48, 32}, {256, 32}}));
    FreeLibrary(updater);
}

// Grown by 60 x 50 pixels, the page container keeps its width and its distances to the top,
// right and bottom edges, and nothing else moves; the frame never shrinks below its design.
TEST(Win32Window, GrowsItsPageContainerOnlyAndNeverShrinksBelowItsDesign) {
    struct Row {
        int dpi;
        const char* container;
        const char* page;
        const char* next;
        const char* panel;
    };
    for (const Row& row :
         {Row{96, "252,0 417x395", "4,24 409x367", "488,359 89x25", "104,0 177x33"},
          Row{144, "348,0 626x568", "6,36 614x526", "732,539 134x37", "156,0 266x50"}}) {
        SCOPED_TRACE(row.dpi);
        Wizard wizard(row.dpi);
        HWND window = wizard.window.Window();
        MINMAXINFO limits{};
        SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
        RECT outer;
        GetWindowRect(window, &outer);
        EXPECT_EQ(limits.ptMinTrackSize.x, outer.right - outer.left);
        EXPECT_EQ(limits.ptMinTrackSize.y, outer.bottom - outer.top);

        SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + 60,
                     outer.bottom - outer.top + 50, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        EXPECT_EQ(Text(PlaceOf(wizard.window.Control(ControlId::PageControl1))), row.container);
        EXPECT_EQ(Text(PlaceOf(wizard.window.Page(3))), row.page);
        EXPECT_EQ(Text(PlaceOf(wizard.window.Control(ControlId::btnNEXT))), row.next);
        EXPECT_EQ(Text(PlaceOf(wizard.window.Control(ControlId::Panel1))), row.panel);
    }
}

// A key as the message loop hands it on, to the control that has the focus.
void Press(HWND window, WPARAM key, bool shift = false) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    PostMessageW(GetFocus(), WM_KEYDOWN, key, 0);
    DispatchPendingMessages(window);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
}

// Keys as the message loop hands them on: Enter presses only a focused button, Escape nothing
// and destroys nothing.
TEST(Win32Window, EnterPressesOnlyTheFocusedButtonAndEscapeNothing) {
    Wizard wizard(96);
    HWND window = wizard.window.Window();
    auto press = [&](HWND focus, WPARAM key) {
        SetFocus(focus);
        Press(window, key);
    };
    press(wizard.window.Control(ControlId::RichEdit1), VK_RETURN);
    press(wizard.window.Control(ControlId::RichEdit1), VK_ESCAPE);
    press(wizard.window.Control(ControlId::btnNEXT), VK_ESCAPE);
    EXPECT_EQ(wizard.controller.CurrentPage(), 1);
    EXPECT_FALSE(wizard.controller.Closed());
    // The welcome text asked its parent, the page, to close: the page and its text stay.
    ASSERT_TRUE(IsWindow(wizard.window.Page(1)));
    ASSERT_TRUE(IsWindow(wizard.window.Control(ControlId::RichEdit1)));
    EXPECT_TRUE(Shown(wizard.window.Page(1)));
    EXPECT_EQ(GetParent(wizard.window.Control(ControlId::RichEdit1)), wizard.window.Page(1));
    press(wizard.window.Control(ControlId::btnNEXT), VK_RETURN);
    EXPECT_EQ(wizard.controller.CurrentPage(), 2);
    EXPECT_TRUE(Shown(wizard.window.Page(2)));
    EXPECT_FALSE(Shown(wizard.window.Page(1)));
}

// From the first key on, Tab and Shift+Tab go round every control of the page that takes the
// focus, in reading order, and out of the welcome text too; a button disabled or hidden while
// it has the focus hands it on.
TEST(Win32Window, TabGoesRoundEveryPageFromTheFirstKey) {
    Wizard wizard(96);
    HWND window = wizard.window.Window();
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    DispatchPendingMessages(window);
    const auto control = [&](ControlId id) { return wizard.window.Control(id); };
    const auto name = [&](HWND focus) -> std::string {
        for (const ControlLayout& layout : wizard::Controls()) {
            if (control(layout.id) == focus) return layout.name;
        }
        return focus == nullptr ? "nothing" : "another window";
    };
    // The stops Tab visits from the focus, then Shift+Tab's back from there.
    const auto round = [&](bool shift) {
        std::vector<std::string> stops;
        for (int i = 0; i < 6; ++i) {
            Press(window, VK_TAB, shift);
            stops.push_back(name(GetFocus()));
        }
        return stops;
    };
    using Stops = std::vector<std::string>;
    EXPECT_EQ(name(GetFocus()), "btnNEXT") << "the focus starts on a button";
    EXPECT_EQ(round(false),
              (Stops{"RichEdit1", "btnESC", "btnNEXT", "RichEdit1", "btnESC", "btnNEXT"}));
    EXPECT_EQ(round(true),
              (Stops{"btnESC", "RichEdit1", "btnNEXT", "btnESC", "RichEdit1", "btnNEXT"}));

    Press(window, VK_RETURN);
    ASSERT_EQ(wizard.controller.CurrentPage(), 2);
    EXPECT_EQ(round(false),
              (Stops{"btnESC", "btnBACK", "btnNEXT", "btnESC", "btnBACK", "btnNEXT"}));
    Press(window, VK_RETURN);
    ASSERT_EQ(wizard.controller.CurrentPage(), 3);
    EXPECT_EQ(name(GetFocus()), "btnConnect") << "Next, disabled, handed the focus on";
    EXPECT_EQ(round(false),
              (Stops{"cbKeepUser", "btnESC", "btnBACK", "btnConnect", "cbKeepUser", "btnESC"}));
    Press(window, VK_TAB);
    Press(window, VK_RETURN);  // Back
    ASSERT_EQ(wizard.controller.CurrentPage(), 2);
    Press(window, VK_RETURN);  // Back again, which page 1 hides
    ASSERT_EQ(wizard.controller.CurrentPage(), 1);
    EXPECT_EQ(name(GetFocus()), "btnNEXT") << "Back, hidden, handed the focus on";
}

// At any scale the window lies within its monitor's work area: the designed place, scaled,
// where that fits, else moved in as little as it takes.
TEST(Win32Window, LiesWithinTheWorkAreaAtEveryScale) {
    for (int dpi : {96, 144}) {
        SCOPED_TRACE(dpi);
        Wizard wizard(dpi);
        RECT outer;
        GetWindowRect(wizard.window.Window(), &outer);
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        ASSERT_TRUE(GetMonitorInfoW(
            MonitorFromWindow(wizard.window.Window(), MONITOR_DEFAULTTONEAREST), &monitor));
        const RECT& area = monitor.rcWork;
        EXPECT_GE(outer.left, area.left);
        EXPECT_GE(outer.top, area.top);
        EXPECT_LE(outer.right, area.right) << Text(outer);
        EXPECT_LE(outer.bottom, area.bottom) << Text(outer);
        if (dpi == 96) {
            EXPECT_EQ(outer.left, wizard::kWindowLeft);
            EXPECT_EQ(outer.top, wizard::kWindowTop);
        }
    }
}

TEST(Win32Window, ClicksReachTheControllerAndClosingEndsTheLoop) {
    Wizard wizard(96);
    ShowWindow(wizard.window.Window(), SW_SHOW);
    wizard.Click(ControlId::btnNEXT);
    wizard.Click(ControlId::btnNEXT);
    EXPECT_EQ(wizard.controller.CurrentPage(), 3);
    wizard.Click(ControlId::cbKeepUser);
    EXPECT_TRUE(wizard.window.IsKeepUserChecked());
    wizard.Click(ControlId::btnBACK);
    EXPECT_EQ(wizard.controller.CurrentPage(), 2);

    int idles = 0;
    wizard.Click(ControlId::btnESC);
    const LoopGuard guard;
    EXPECT_TRUE(wizard.controller.Closed());
    EXPECT_FALSE(IsWindowVisible(wizard.window.Window()));
    wizard.Click(ControlId::btnBACK);
    EXPECT_TRUE(Shown(wizard.window.Page(2))) << "the closed window acted on a click";
    EXPECT_EQ(RunMessageLoop(wizard.window.Window(), [&] { ++idles; }), 0);
    EXPECT_FALSE(LoopGuard::Fired()) << "closing posted no quit message";
    EXPECT_EQ(idles, 0) << "the loop ended at the quit message, before going idle";
}

// Windows asks before it logs off or shuts down: the window says no while the tracker is being
// written, and yes before, after a failed run and after a finished one.
TEST(Win32Window, RefusesToEndTheSessionOnlyWhileTheTrackerIsWritten) {
    Wizard wizard(96);
    HWND window = wizard.window.Window();
    for (const Phase phase :
         {Phase::Requested, Phase::WritingProgram, Phase::Verifying, Phase::WritingData}) {
        wizard.controller.State().UpdatePhase = phase;
        EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), FALSE) << static_cast<int>(phase);
    }
    for (const Phase phase : {Phase::Idle, Phase::Succeeded}) {
        wizard.controller.State().UpdatePhase = phase;
        EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), TRUE) << static_cast<int>(phase);
    }
}

// The thread's standing execution state: reading it means setting it, so it is set back at once.
EXECUTION_STATE StandingExecutionState() {
    const EXECUTION_STATE state = SetThreadExecutionState(ES_CONTINUOUS);
    SetThreadExecutionState(state | ES_CONTINUOUS);
    return state;
}

// While the wizard writes the tracker the PC is kept awake, and only then: the thread's execution
// state, sampled by a timer each time the update lets the window's messages through.
TEST(Win32Window, KeepsThePcAwakeWhileWritingTheTracker) {
    test::WinePeer peer;
    ASSERT_TRUE(peer.Connected());
    const std::string port = peer.MapSimulator(136, "--fast");
    ASSERT_FALSE(port.empty());
    Wizard wizard(96);
    wizard.directory.bridgePort = port;
    SetThreadExecutionState(ES_CONTINUOUS);
    wizard.Click(ControlId::btnNEXT);
    wizard.Click(ControlId::btnNEXT);
    wizard.Click(ControlId::btnConnect);
    ASSERT_TRUE(wizard.controller.State().DeviceReady);

    static std::vector<EXECUTION_STATE> samples;
    samples.clear();
    const UINT_PTR timer =
        SetTimer(nullptr, 0, USER_TIMER_MINIMUM,
                 [](HWND, UINT, UINT_PTR, DWORD) { samples.push_back(StandingExecutionState()); });
    wizard.Click(ControlId::btnNEXT);  // the update runs inside the click
    KillTimer(nullptr, timer);
    EXPECT_EQ(wizard.controller.State().UpdatePhase, Phase::Succeeded);
    ASSERT_FALSE(samples.empty()) << "the update let no message through";
    for (const EXECUTION_STATE state : samples) {
        EXPECT_EQ(state, ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    }
    EXPECT_EQ(StandingExecutionState(), static_cast<EXECUTION_STATE>(ES_CONTINUOUS));
    wizard.port->ClosePort();
}

// The name the system's accessibility proxy gives a control, as a screen reader asks for it;
// "(none)" when it has none.
std::wstring ProxyName(HWND control) {
    IAccessible* object = nullptr;
    const HRESULT made =
        AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&object));
    if (FAILED(made)) {
        return L"(no object " + std::to_wstring(static_cast<unsigned long>(made)) + L")";
    }
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    const HRESULT got = object->get_accName(self, &name);
    std::wstring text = got == S_OK && name != nullptr ? std::wstring(name) : L"(none)";
    SysFreeString(name);
    object->Release();
    return text;
}

// Through the accessibility proxy a screen reader uses: the frames of the pages say nothing,
// the marks say what they mean.
TEST(Win32Window, TheAccessibilityProxyHearsNoFormIdsAndNoSymbolLetters) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        Wizard wizard(96);
        for (int page = 1; page <= wizard::kPageCount; ++page) {
            const std::wstring name = ProxyName(wizard.window.Page(page));
            EXPECT_TRUE(name == L"" || name == L"(none)") << page;
        }
        for (ControlId frame : {ControlId::PageControl1, ControlId::Panel1}) {
            const std::wstring name = ProxyName(wizard.window.Control(frame));
            EXPECT_TRUE(name == L"" || name == L"(none)") << wizard::Layout(frame).name;
        }
        EXPECT_EQ(ProxyName(wizard.window.Control(ControlId::txtConnOK)),
                  WideFromUtf8(texts::kCheckMarkName));
        EXPECT_EQ(ProxyName(wizard.window.Control(ControlId::txtWriteFail)),
                  WideFromUtf8(texts::kCrossMarkName));
        EXPECT_EQ(ProxyName(wizard.window.Control(ControlId::btnNEXT)), WideFromUtf8(texts::kNext));
        // A text block is one text, not a list of its screen lines.
        EXPECT_EQ(ProxyName(wizard.window.Control(ControlId::ListBox6)),
                  WideFromUtf8(texts::ConnectionHint()[0]) + L"\r\n" +
                      WideFromUtf8(texts::ConnectionHint()[1]));
    }
    CoUninitialize();
}

// What the system tells a screen reader: the controls raised as alerts.
std::vector<HWND> alerts;
void CALLBACK RecordAlert(HWINEVENTHOOK, DWORD event, HWND control, LONG object, LONG child, DWORD,
                          DWORD) {
    if (event == EVENT_SYSTEM_ALERT && object == OBJID_CLIENT && child == CHILDID_SELF) {
        alerts.push_back(control);
    }
}

// A connection that fails says so to a screen reader unasked: "НЕ УСТАНОВЛЕНО" is raised as an
// alert, and only once.
TEST(Win32Window, AFailedConnectionIsRaisedAsAnAlert) {
    Wizard wizard(96);
    HWND window = wizard.window.Window();
    alerts.clear();
    HWINEVENTHOOK hook =
        SetWinEventHook(EVENT_SYSTEM_ALERT, EVENT_SYSTEM_ALERT, nullptr, &RecordAlert,
                        GetCurrentProcessId(), GetCurrentThreadId(), WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    wizard.Click(ControlId::btnNEXT);
    wizard.Click(ControlId::btnNEXT);
    DispatchPendingMessages(window);
    EXPECT_TRUE(alerts.empty());
    wizard.Click(ControlId::btnConnect);
    DispatchPendingMessages(window);
    UnhookWinEvent(hook);
    EXPECT_TRUE(wizard.Visible(ControlId::lbNotConnected));
    EXPECT_EQ(alerts, std::vector<HWND>{wizard.window.Control(ControlId::lbNotConnected)});
}

// Idle runs once each time the queue has run empty, never inside the dispatch of what waits.
TEST(Win32MessageLoop, GoesIdleOnceEachTimeTheQueueRunsEmpty) {
    Wizard wizard(96);
    HWND window = wizard.window.Window();
    int idles = 0;
    const LoopGuard guard;
    const int code = RunMessageLoop(window, [&] {
        if (++idles == 1) {
            PostMessageW(window, WM_NULL, 0, 0);
            PostMessageW(window, WM_NULL, 0, 0);
            DispatchPendingMessages(window);  // no idle in here
            PostMessageW(window, WM_NULL, 0, 0);
        } else {
            PostQuitMessage(7);
        }
    });
    EXPECT_FALSE(LoopGuard::Fired()) << "the loop waited with the idle step not run";
    EXPECT_EQ(code, 7);
    EXPECT_EQ(idles, 2);
}

// A plug-in while page 1 shows: the notice reaches the device window, the next idle connects by
// the name lookup and brings page 3 with the green pair. Wine lists no devices, so a stand-in
// directory names the port of the simulated tracker.
TEST(Win32Window, BridgeArrivalOnPageOneBringsTheConnectionPage) {
    test::WinePeer peer;
    ASSERT_TRUE(peer.Connected());
    const std::string port = peer.MapSimulator(133, "--fast");
    ASSERT_FALSE(port.empty());
    Wizard wizard(96, &RegisterDeviceWatch);
    wizard.directory.bridgePort = port;
    HWND watch = FindWindowExA(HWND_MESSAGE, nullptr, kDeviceWatchWindowClass, nullptr);
    ASSERT_NE(watch, nullptr);
    InterfaceRecord record = InterfaceFilterRecord();
    const char path[] = "\\\\?\\USB#VID_10C4&PID_EA60#0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    std::copy(std::begin(path), std::end(path), record.begin() + kInterfaceNameOffset);
    const LoopGuard guard;
    const int code = RunMessageLoop(wizard.window.Window(), [&] {
        SendMessageA(watch, WM_DEVICECHANGE, kDeviceArrival,
                     reinterpret_cast<LPARAM>(record.data()));
        EXPECT_EQ(wizard.controller.CurrentPage(), 1) << "nothing happens in the notice";
        wizard.controller.OnIdle();
        PostQuitMessage(0);
    });
    EXPECT_FALSE(LoopGuard::Fired()) << "the loop waited with the idle step not run";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(wizard.directory.lookups, 1);
    EXPECT_EQ(wizard.directory.scans, 0);
    EXPECT_EQ(wizard.controller.CurrentPage(), 3);
    EXPECT_TRUE(Shown(wizard.window.Page(3)));
    EXPECT_TRUE(wizard.Visible(ControlId::lbConnected));
    EXPECT_TRUE(wizard.Visible(ControlId::txtConnOK));
    EXPECT_FALSE(wizard.Visible(ControlId::lbNotConnected));
    EXPECT_FALSE(wizard.Visible(ControlId::txtConnFail));
    EXPECT_TRUE(wizard.Enabled(ControlId::btnNEXT));
    EXPECT_FALSE(wizard.Enabled(ControlId::btnConnect));
    wizard.port->ClosePort();
}

}  // namespace
}  // namespace ostrel::win32
