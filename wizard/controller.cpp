#include "wizard/controller.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "core/update_sequence.h"
#include "device/sleep_inhibitor.h"
#include "wizard/texts.h"

namespace ostrel {
namespace {

using wizard::ControlId;

// The fourteen page-4 indicators.
constexpr ControlId kUpdateIndicators[] = {
    ControlId::txtWriteOK,  ControlId::txtWriteFail, ControlId::lbWrite,  ControlId::lbWriteOn,
    ControlId::lbWriteOK,   ControlId::lbWriteErr,   ControlId::lbVerify, ControlId::lbVerifyOK,
    ControlId::lbVerifyOn,  ControlId::lbVerifyErr,  ControlId::BarWrite, ControlId::BarVerify,
    ControlId::ListWriteOK, ControlId::ListWriteFail};

// The bars count bytes over a divisor one short of the program memory's size, so they reach
// 100 only after the last of its 232 blocks.
int BarPosition(std::uint32_t blocksDone) {
    const std::uint32_t position = (blocksDone * kBlockSize + 1) * 100 / (kFlashSize - 1);
    return static_cast<int>(std::min<std::uint32_t>(position, 100));
}

}  // namespace

WizardController::WizardController(WizardView& view, SerialPort& port, PortDirectory& directory,
                                   DeviceWatchRegistration registerDeviceWatch)
    : view_(view),
      port_(port),
      protocol_(port, *image_, state_),
      connector_(state_, port, directory, protocol_),
      registerDeviceWatch_(std::move(registerDeviceWatch)) {
    connector_.SetBetweenPorts([this] {
        view_.ProcessPendingEvents();
        return !closed_;
    });
}

WizardController::~WizardController() = default;

void WizardController::OnCreate() {
    state_.PortOpen = false;
    state_.DeviceReady = false;
    state_.BootloaderVersion = 0;
    state_.SupportedCommandCount = 0;
    state_.UpdatePhase = Phase::Idle;
    BuildFirmwareImage(*image_);
    state_.PortList.clear();

    view_.SetLine(ControlId::ListBoxVer, texts::kVersionLineIndex,
                  std::string(texts::kVersionPrefix) + texts::kReleaseName + texts::kModelSuffix);
    view_.SetLine(ControlId::ListBoxVer, texts::kDateLineIndex, texts::kDateLine);

    HideConnectionIndicators();
    HideUpdateIndicators();
    // The container has no tabs to take out or to clear.
    SetPage(1);
    UpdateButtons();
    // A keyboard user starts on a button, not in the welcome text.
    view_.SetFocus(ControlId::btnNEXT);

    if (registerDeviceWatch_) deviceWatch_ = registerDeviceWatch_();
    if (deviceWatch_) view_.WatchDeviceEvents(*deviceWatch_);
}

void WizardController::OnClose() {
    closed_ = true;
    // An update may still be running in the Next handler: with the port released, its next
    // exchange fails and the failure display follows before the handler returns.
    if (state_.PortOpen) port_.ClosePort();
}

void WizardController::OnClick(ControlId control) {
    if (closed_) return;
    switch (control) {
        case ControlId::btnNEXT:
            return OnNext();
        case ControlId::btnBACK:
            return OnBack();
        case ControlId::btnESC:
            return OnCancel();
        case ControlId::btnConnect:
            return OnConnect();
        default:
            return;
    }
}

void WizardController::SetPage(int page) {
    page_ = page;
    view_.ShowPage(page);
}

void WizardController::UpdateButtons() {
    view_.SetVisible(ControlId::btnESC, page_ != 5);
    view_.SetVisible(ControlId::btnBACK, page_ != 1);
    view_.SetCaption(ControlId::btnNEXT, page_ == 5 ? texts::kFinish : texts::kNext);
    // A failed run keeps Next off page 4: the user goes Back to connect and run again, rather
    // than on to the page that announces a new version.
    bool nextEnabled = true;
    if (page_ == 3) nextEnabled = state_.DeviceReady;
    if (page_ == 4) nextEnabled = state_.UpdatePhase == Phase::Succeeded;
    view_.SetEnabled(ControlId::btnNEXT, nextEnabled);
    if (page_ != 3) return;
    view_.SetEnabled(ControlId::btnConnect, !state_.DeviceReady);
    // Without a ready device the pair on screen stays: Connect shows the red one itself.
    if (state_.DeviceReady) ShowConnectionPair(true);
}

void WizardController::OnNext() {
    bool ran = false;
    bool succeededNow = false;
    switch (page_) {
        case 1:
            SetPage(2);
            break;
        case 2:
            SetPage(3);
            HideConnectionIndicators();
            break;
        case 3:
            if (state_.DeviceReady) {
                SetPage(4);
                HideUpdateIndicators();
                state_.UpdatePhase = Phase::Requested;
                UpdateButtons();
                view_.SetEnabled(ControlId::btnBACK, false);
                view_.SetEnabled(ControlId::btnNEXT, false);
                const std::unique_ptr<SleepInhibitor> awake = InhibitSleep();
                succeededNow =
                    RunUpdate(state_, protocol_, *image_, view_.IsKeepUserChecked(), *this)
                        .Succeeded();
                ran = true;
                view_.SetEnabled(ControlId::btnBACK, true);
                view_.SetEnabled(ControlId::btnNEXT, true);
            }
            break;
        case 4:
            if (state_.UpdatePhase == Phase::Succeeded) SetPage(5);
            break;
        case 5:
            view_.CloseWindow();
            break;
    }
    UpdateButtons();
    // The run held the focus on Cancel, the one button left enabled. The success note asks for
    // Next, the failure note for the way back to Connect: Enter presses the one asked for.
    if (ran && !closed_) view_.SetFocus(succeededNow ? ControlId::btnNEXT : ControlId::btnBACK);
}

void WizardController::OnBack() {
    switch (page_) {
        case 2:
            SetPage(1);
            break;
        case 3:
            SetPage(2);
            state_.DeviceReady = false;
            break;
        case 4:
            SetPage(3);
            HideConnectionIndicators();
            state_.DeviceReady = false;
            break;
        case 5:
            SetPage(2);
            state_.DeviceReady = false;
            break;
        default:
            break;
    }
    UpdateButtons();
}

void WizardController::OnCancel() {
    view_.CloseWindow();
}

void WizardController::OnConnect() {
    if (connecting_) return;
    HideConnectionIndicators();
    // A scan may take long: the window stays responsive between its ports (it repaints, and
    // Cancel ends the scan), and the button cannot start a second one meanwhile.
    view_.SetEnabled(ControlId::btnConnect, false);
    connecting_ = true;
    connector_.ConnectSequence();
    connecting_ = false;
    if (closed_) return;
    if (!state_.DeviceReady) ShowConnectionPair(false);
    UpdateButtons();
    view_.Announce(state_.DeviceReady ? ControlId::lbConnected : ControlId::lbNotConnected);
    // Connect, pressed and now disabled, had the focus: it goes on to the step that follows.
    if (state_.DeviceReady) view_.SetFocus(ControlId::btnNEXT);
}

void WizardController::OnIdle() {
    if (closed_ || !deviceWatch_) return;
    const bool arrival = deviceWatch_->PendingNotice() == kBridgeArrived && !state_.PortOpen;
    if (arrival) lookAgain_.Restart();
    FollowArrival(ActOnPendingDeviceEvent(*deviceWatch_, state_, connector_));
}

void WizardController::OnArrivalRetry() {
    // A newer notice, an open port (connected, or an update running) or the closed window
    // ends the looks.
    if (!std::exchange(lookAgainDue_, false) || closed_ || !deviceWatch_ || state_.PortOpen ||
        deviceWatch_->PendingNotice() != kNoDeviceEvent) {
        return;
    }
    deviceWatch_->Record(kBridgeArrived);
    FollowArrival(ActOnPendingDeviceEvent(*deviceWatch_, state_, connector_));
}

void WizardController::FollowArrival(DeviceEventResult result) {
    if (result == DeviceEventResult::Connected) {
        SetPage(3);
        UpdateButtons();
        view_.Announce(ControlId::lbConnected);
    } else if (result == DeviceEventResult::PortNotFound) {
        if (const std::optional<std::uint32_t> pause = lookAgain_.NextPause()) {
            lookAgainDue_ = true;
            view_.StartRetryTimer(static_cast<int>(*pause));
        }
    }
}

// Exactly one pair shows: the green label and check mark, or the red label and cross.
void WizardController::ShowConnectionPair(bool connected) {
    view_.SetVisible(ControlId::lbConnected, connected);
    view_.SetVisible(ControlId::txtConnOK, connected);
    view_.SetVisible(ControlId::lbNotConnected, !connected);
    view_.SetVisible(ControlId::txtConnFail, !connected);
}

void WizardController::HideConnectionIndicators() {
    for (ControlId control : {ControlId::lbConnected, ControlId::lbNotConnected,
                              ControlId::txtConnOK, ControlId::txtConnFail}) {
        view_.SetVisible(control, false);
    }
}

void WizardController::HideUpdateIndicators() {
    for (ControlId control : kUpdateIndicators) view_.SetVisible(control, false);
}

void WizardController::StageBegun(UpdateStage stage, std::uint32_t) {
    const bool write = stage == UpdateStage::Write;
    if (!write && stage != UpdateStage::Verify) return;  // the data memory has no display
    view_.SetVisible(write ? ControlId::lbWrite : ControlId::lbVerify, true);
    view_.SetBarPosition(write ? ControlId::BarWrite : ControlId::BarVerify, 0);
    view_.SetVisible(write ? ControlId::BarWrite : ControlId::BarVerify, true);
    view_.SetVisible(write ? ControlId::lbWriteOn : ControlId::lbVerifyOn, true);
}

void WizardController::Progress(UpdateStage stage, std::uint32_t done, std::uint32_t) {
    // The data memory's eight blocks go without a bar and without dispatching.
    if (stage == UpdateStage::Data) return;
    view_.SetBarPosition(stage == UpdateStage::Write ? ControlId::BarWrite : ControlId::BarVerify,
                         BarPosition(done));
    view_.ProcessPendingEvents();
}

void WizardController::StageEnded(UpdateStage stage, bool ok) {
    switch (stage) {
        case UpdateStage::Write:
            if (!ok) return ShowUpdateFailure(ControlId::lbWriteOn, ControlId::lbWriteErr);
            view_.SetVisible(ControlId::lbWriteOn, false);
            view_.SetVisible(ControlId::lbWriteOK, true);
            return;
        case UpdateStage::Verify:
            if (!ok) return ShowUpdateFailure(ControlId::lbVerifyOn, ControlId::lbVerifyErr);
            view_.SetVisible(ControlId::lbVerifyOn, false);
            view_.SetVisible(ControlId::lbVerifyOK, true);
            return;
        case UpdateStage::Data:
            if (!ok) {
                // The data memory shares the write line's error mark, which covers that line's
                // "ОК": hidden beneath it, so that a screen reader hears only the error.
                view_.SetVisible(ControlId::lbWriteOK, false);
                return ShowUpdateFailure(ControlId::lbWriteOn, ControlId::lbWriteErr);
            }
            view_.SetVisible(ControlId::txtWriteOK, true);
            view_.SetVisible(ControlId::ListWriteOK, true);
            view_.Announce(ControlId::ListWriteOK);
            return;
        default:  // the console's own stages never run here
            return;
    }
}

void WizardController::ShowUpdateFailure(ControlId running, ControlId failed) {
    view_.SetVisible(running, false);
    view_.SetVisible(failed, true);
    view_.SetVisible(ControlId::txtWriteFail, true);
    view_.SetVisible(ControlId::ListWriteFail, true);
    view_.Announce(failed);
}

}  // namespace ostrel
