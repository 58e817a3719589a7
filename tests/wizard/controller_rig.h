#pragma once
// The wizard controller on a view that records what a window would show, with the simulated
// tracker behind its port, a port directory that finds it by name, and device notices recorded
// as the platform's notification handler records them.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sim/bootloader_model.h"
#include "sim/sim_link.h"
#include "sim/sim_port_directory.h"
#include "wizard/controller.h"

namespace ostrel::wizard {
// Readable failure messages.
inline void PrintTo(ControlId id, std::ostream* out) {
    *out << Layout(id).name;
}
}  // namespace ostrel::wizard

namespace ostrel::test {

using wizard::ControlId;
using Names = std::set<std::string>;

inline constexpr ControlId kIndicators[] = {
    ControlId::lbConnected, ControlId::lbNotConnected, ControlId::txtConnOK, ControlId::txtConnFail,
    ControlId::txtWriteOK,  ControlId::txtWriteFail,   ControlId::lbWrite,   ControlId::lbWriteOn,
    ControlId::lbWriteOK,   ControlId::lbWriteErr,     ControlId::lbVerify,  ControlId::lbVerifyOK,
    ControlId::lbVerifyOn,  ControlId::lbVerifyErr,    ControlId::BarWrite,  ControlId::BarVerify,
    ControlId::ListWriteOK, ControlId::ListWriteFail};

// Controls start visible and enabled, as a view builds them.
class RecordingWizardView : public WizardView {
  public:
    void ShowPage(int shown) override { page = shown; }
    void SetVisible(ControlId control, bool visible) override {
        hidden[control] = !visible;
        if (visible) shows.push_back(Name(control));
    }
    void SetEnabled(ControlId button, bool enabled) override { disabled[button] = !enabled; }
    void SetCaption(ControlId button, std::string_view utf8) override {
        captions[button] = std::string(utf8);
    }
    void SetLine(ControlId block, int index, std::string_view utf8) override {
        lines[{block, index}] = std::string(utf8);
    }
    void SetBarPosition(ControlId bar, int position) override {
        bars[bar] = position;
        barHistory[bar].push_back(position);
    }
    bool IsKeepUserChecked() override { return keepUser; }
    void SetFocus(ControlId button) override { focus = button; }
    void Announce(ControlId shown) override { alerts.push_back(Name(shown)); }
    void ProcessPendingEvents() override {
        ++pumps;
        if (onPump) onPump();
    }
    void StartRetryTimer(int milliseconds) override { timers.push_back(milliseconds); }
    void CloseWindow() override {
        ++closeRequests;
        closed = true;
        if (controller) controller->OnClose();
    }

    static const char* Name(ControlId id) { return wizard::Layout(id).name; }
    bool Shown(ControlId id) const { return !hidden.contains(id) || !hidden.at(id); }
    bool Enabled(ControlId id) const { return !disabled.contains(id) || !disabled.at(id); }
    // Which of the eighteen indicators show (each on its own page).
    Names ShownIndicators() const {
        Names shown;
        for (ControlId id : kIndicators) {
            if (Shown(id)) shown.insert(Name(id));
        }
        return shown;
    }

    WizardController* controller = nullptr;
    int page = 0;
    std::map<ControlId, bool> hidden;
    std::map<ControlId, bool> disabled;
    std::map<ControlId, std::string> captions;
    std::map<std::pair<ControlId, int>, std::string> lines;
    std::map<ControlId, int> bars;
    std::map<ControlId, std::vector<int>> barHistory;
    std::vector<std::string> shows;  // every control shown, in order
    bool keepUser = false;
    std::optional<ControlId> focus;
    std::vector<std::string> alerts;
    std::function<void()> onPump;
    int pumps = 0;
    int closeRequests = 0;
    std::vector<int> timers;  // retry timers started, in ms
    bool closed = false;
};

// Notices recorded as they come, as a window-message handler records them.
class RecordedDeviceEvents : public DeviceEventSource {
  public:
    int NotificationDescriptor() const override { return -1; }
    void ReadNotifications() override {}
    void Post(PendingEvent event) { Record(event); }
};

struct ControllerRig {
    explicit ControllerRig(bool create = true) {
        directory.bridgePort = "SIM1";
        view.controller = &controller;
        if (create) controller.OnCreate();
    }

    UpdaterState& State() { return controller.State(); }
    int Page() const { return controller.CurrentPage(); }
    bool NextEnabled() const { return view.Enabled(ControlId::btnNEXT); }

    // The buttons as a window forwards their clicks.
    void Next() { controller.OnClick(ControlId::btnNEXT); }
    void Back() { controller.OnClick(ControlId::btnBACK); }
    void Connect() { controller.OnClick(ControlId::btnConnect); }
    void Cancel() { controller.OnClick(ControlId::btnESC); }
    void Idle() { controller.OnIdle(); }
    // From page 1 to page 3, connected.
    void ToConnectedPage3() {
        Next();
        Next();
        Connect();
    }

    sim::BootloaderModel model;
    sim::SimLink link{model};
    sim::SimPortDirectory directory;
    RecordingWizardView view;
    RecordedDeviceEvents* events = nullptr;
    std::function<void()> onRegister;
    WizardController controller{view, link, directory, [this] {
                                    if (onRegister) onRegister();
                                    auto source = std::make_unique<RecordedDeviceEvents>();
                                    events = source.get();
                                    return source;
                                }};
};

}  // namespace ostrel::test
