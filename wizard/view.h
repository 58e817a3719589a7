#pragma once
// What the wizard controller needs of a window: the toolkit side of every page rule. A view
// renders the layout table and forwards clicks, device notices, idle and closing to the
// controller; the controller calls these to change what shows.
#include <string_view>

#include "device/device_events.h"
#include "wizard/layout_table.h"

namespace ostrel {

class WizardView {
  public:
    virtual ~WizardView() = default;
    // Makes page 1 to 5 the page container's current page.
    virtual void ShowPage(int page) = 0;
    // Buttons, the eighteen indicators.
    virtual void SetVisible(wizard::ControlId control, bool visible) = 0;
    // btnBACK, btnNEXT, btnConnect.
    virtual void SetEnabled(wizard::ControlId button, bool enabled) = 0;
    virtual void SetCaption(wizard::ControlId button, std::string_view utf8) = 0;
    // One line (0-based) of a text block.
    virtual void SetLine(wizard::ControlId block, int index, std::string_view utf8) = 0;
    // BarWrite, BarVerify: 0 to 100.
    virtual void SetBarPosition(wizard::ControlId bar, int position) = 0;
    virtual bool IsKeepUserChecked() = 0;
    virtual void SetFocus(wizard::ControlId button) = 0;
    // Raises `shown`, a result just shown, as an alert, so that a screen reader says it at once.
    virtual void Announce(wizard::ControlId shown) = 0;
    // Dispatches what waits (input, painting, device notices) and returns; never the idle step.
    virtual void ProcessPendingEvents() = 0;
    // Closes the window; the view calls the controller's OnClose as the window closes (also
    // when the user closes it from the title bar).
    virtual void CloseWindow() = 0;
    // Calls the controller's OnArrivalRetry once, `milliseconds` from now, from the window's own
    // message loop (a timer of the window).
    virtual void StartRetryTimer(int milliseconds) = 0;
    // The controller registered `source`: a view whose notices arrive on a descriptor watches
    // it and calls ReadNotifications when it is readable (Windows' arrive as window messages).
    virtual void WatchDeviceEvents(DeviceEventSource& source) { (void)source; }
};

}  // namespace ostrel
