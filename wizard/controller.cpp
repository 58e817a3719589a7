#include "wizard/controller.h"

#include <algorithm>
#include <string>

#include "core/update_sequence.h"
#include "device/hotplug.h"
#include "wizard/texts.h"

namespace ostrel {
namespace {

using wizard::ControlId;

constexpr std::uint8_t kUpdateSucceeded = 5;

// The page-4 indicators of the update sequence, in its order.
constexpr ControlId kUpdateIndicators[kIndicatorCount] = {
    ControlId::txtWriteOK,  ControlId::txtWriteFail, ControlId::lbWrite,  ControlId::lbWriteOn,
    ControlId::lbWriteOK,   ControlId::lbWriteErr,   ControlId::lbVerify, ControlId::lbVerifyOK,
    ControlId::lbVerifyOn,  ControlId::lbVerifyErr,  ControlId::BarWrite, ControlId::BarVerify,
    ControlId::ListWriteOK, ControlId::ListWriteFail};

ControlId ControlOf(Indicator indicator) {
    return kUpdateIndicators[static_cast<int>(indicator)];
}

}  // namespace

WizardController::WizardController(WizardView& view, SerialPort& port, PortDirectory& directory,
                                   DeviceWatchRegistration registerDeviceWatch)
    : view_(view),
      port_(port),
      protocol_(port, *image_, state_),
      connector_(state_, port, directory, protocol_),
      registerDeviceWatch_(std::move(registerDeviceWatch)) {}

WizardController::~WizardController() = default;

void WizardController::FormCreate() {
    state_.PortOpen = false;
    state_.DeviceReady = false;
    state_.BootloaderVersion = 0;
    state_.SupportedCommandCount = 0;
    state_.BlockSize = kBlockSize;
    state_.EndAddress = 0;
    state_.UpdatePhase = 0;
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

    state_.PendingDeviceEvent = kNoDeviceEvent;
    if (registerDeviceWatch_) deviceWatch_ = registerDeviceWatch_(state_);
}

void WizardController::FormClose() {
    closed_ = true;
    // An update may still be running in the Next handler: with the port released, its next
    // exchange fails and the failure display follows before the handler returns.
    if (state_.PortOpen) port_.ClosePort();
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
    if (page_ == 4) nextEnabled = state_.UpdatePhase == kUpdateSucceeded;
    view_.SetEnabled(ControlId::btnNEXT, nextEnabled);
    if (page_ != 3) return;
    view_.SetEnabled(ControlId::btnConnect, !state_.DeviceReady);
    // Without a ready device the pair on screen stays: Connect shows the red one itself.
    if (state_.DeviceReady) ShowConnectionPair(true);
}

void WizardController::btnNEXTClick() {
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
                state_.UpdatePhase = 1;
                UpdateButtons();
                RunUpdate(state_, protocol_, *image_, *this);
                succeededNow = state_.UpdatePhase == kUpdateSucceeded;
            }
            break;
        case 4:
            if (state_.UpdatePhase == kUpdateSucceeded) SetPage(5);
            break;
        case 5:
            view_.CloseWindow();
            break;
    }
    UpdateButtons();
    // The success note asks for Next: Enter presses it.
    if (succeededNow && !closed_) view_.SetFocus(ControlId::btnNEXT);
}

void WizardController::btnBACKClick() {
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

void WizardController::btnESCClick() {
    view_.CloseWindow();
}

void WizardController::btnConnectClick() {
    HideConnectionIndicators();
    connector_.ConnectSequence();
    if (!state_.DeviceReady) ShowConnectionPair(false);
    UpdateButtons();
}

void WizardController::ApplicationEvents1Idle() {
    if (closed_) return;
    if (ActOnPendingDeviceEvent(state_, connector_)) {
        SetPage(3);
        UpdateButtons();
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

void WizardController::SetIndicatorVisible(Indicator indicator, bool visible) {
    view_.SetVisible(ControlOf(indicator), visible);
}

void WizardController::SetProgressPosition(ProgressBar bar, std::uint32_t position) {
    view_.SetBarPosition(bar == ProgressBar::BarWrite ? ControlId::BarWrite : ControlId::BarVerify,
                         static_cast<int>(std::min<std::uint32_t>(position, 100)));
}

void WizardController::SetButtonEnabled(WizardButton button, bool enabled) {
    view_.SetEnabled(button == WizardButton::btnBACK ? ControlId::btnBACK : ControlId::btnNEXT,
                     enabled);
}

void WizardController::ProcessPendingEvents() {
    view_.ProcessPendingEvents();
}

bool WizardController::IsKeepUserSelected() {
    return view_.IsKeepUserChecked();
}

}  // namespace ostrel
