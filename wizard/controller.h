#pragma once
// The wizard's logic, free of any toolkit: the current page, the buttons each page shows, the
// Next, Back, Cancel and Connect handlers, the start-up order, closing, and the idle step that
// acts on device notices. It owns the updater's state, runs the update inside the Next handler
// and turns the update's events into the page-4 indicators and bars of its WizardView.
#include <functional>
#include <memory>

#include "core/bootloader_protocol.h"
#include "core/firmware_image.h"
#include "core/update_events.h"
#include "core/updater_state.h"
#include "device/connection.h"
#include "device/device_events.h"
#include "device/hotplug.h"
#include "device/look_again.h"
#include "device/port_directory.h"
#include "device/serial_port.h"
#include "wizard/view.h"

namespace ostrel {

class WizardController : private UpdateEvents {
  public:
    using DeviceWatchRegistration = std::function<std::unique_ptr<DeviceEventSource>()>;

    // Touches neither the view nor the port: the view calls OnCreate once it is built.
    WizardController(WizardView& view, SerialPort& port, PortDirectory& directory,
                     DeviceWatchRegistration registerDeviceWatch);
    ~WizardController() override;

    void OnCreate();
    void OnClose();
    void UpdateButtons();
    // A click on one of the window's controls: Next, Back, Cancel and Connect call their
    // handlers; the check box keeps its own state, and a closed window acts on none.
    void OnClick(wizard::ControlId control);
    void OnIdle();
    // The window's timer after an arrival whose port did not show yet: looks again.
    void OnArrivalRetry();

    // 1 to 5.
    int CurrentPage() const { return page_; }
    bool Closed() const { return closed_; }
    UpdaterState& State() { return state_; }
    const FirmwareImage& Image() const { return *image_; }
    // The source OnCreate registered, null without one; a view whose notices arrive on a
    // descriptor watches it and calls ReadNotifications when it is readable.
    DeviceEventSource* DeviceWatch() { return deviceWatch_.get(); }

  private:
    void OnNext();
    void OnBack();
    void OnCancel();
    void OnConnect();

    // The update's events, shown on page 4.
    void StageBegun(UpdateStage stage, std::uint32_t total) override;
    void Progress(UpdateStage stage, std::uint32_t done, std::uint32_t total) override;
    void StageEnded(UpdateStage stage, bool ok) override;
    void ShowUpdateFailure(wizard::ControlId running, wizard::ControlId failed);

    void SetPage(int page);
    // What the idle step or a retry found: the connection page on an automatic connection,
    // the next look scheduled while the port has not shown.
    void FollowArrival(DeviceEventResult result);
    void ShowConnectionPair(bool connected);
    void HideConnectionIndicators();
    void HideUpdateIndicators();

    WizardView& view_;
    std::unique_ptr<FirmwareImage> image_ = std::make_unique<FirmwareImage>();
    UpdaterState state_;
    SerialPort& port_;
    BootloaderProtocol protocol_;
    Connector connector_;
    DeviceWatchRegistration registerDeviceWatch_;
    std::unique_ptr<DeviceEventSource> deviceWatch_;
    int page_ = 1;
    LookAgainSchedule lookAgain_;  // after the arrival whose port did not show
    bool lookAgainDue_ = false;    // a retry timer started and not yet run
    bool connecting_ = false;      // inside the Connect button's sequence
    // Set once the window has closed: the program is ending, so the idle step leaves the
    // device alone while the handler that was running returns.
    bool closed_ = false;
};

}  // namespace ostrel
