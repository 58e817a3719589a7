#pragma once
// The programming adapter with the tracker behind it, as a Linux program sees them: a CP210x
// bridge that comes and goes on udev, whose tty is served by the simulated bootloader. The
// process must run under umockdev's preload (see BridgeTestbed).
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "sim/bootloader_model.h"
#include "sim/bridge/bridge_testbed.h"
#include "sim/tty/tty_server.h"

namespace ostrel::sim {

class SimulatedBridge {
  public:
    // A bridge on a testbed of its own.
    explicit SimulatedBridge(Pacing pacing, UsbSerialAdapter adapter = UsbSerialAdapter::Cp2102());
    // A bridge on a testbed it shares with others (a bench of adapters); `testbed` outlives it.
    SimulatedBridge(BridgeTestbed& testbed, Pacing pacing, UsbSerialAdapter adapter);
    ~SimulatedBridge();
    SimulatedBridge(const SimulatedBridge&) = delete;
    SimulatedBridge& operator=(const SimulatedBridge&) = delete;

    bool Ok() const { return testbed_.Ok(); }
    const std::string& Error() const { return error_.empty() ? testbed_.Error() : error_; }

    // Plugs the bridge in. The tracker powers up with it: its bootloader starts unsynchronised
    // and its memory is what it was.
    bool Plug();
    // Pulls the bridge out: a program holding the port sees a hang-up, then udev reports the
    // removal.
    void Unplug();
    bool IsPlugged() const { return server_ != nullptr; }

    std::string DevicePath() const { return adapter_.DevicePath(); }
    // The tracker, reached safely while its line is being served.
    void WithModel(const std::function<void(BootloaderModel&)>& action);
    // The line while plugged (statistics, waits, hang-up at a chosen exchange); null otherwise.
    TtyServer* Line() { return server_.get(); }
    // What the program last asked of the line since the bridge was plugged in.
    std::optional<LineRequest> RequestedLine() const {
        return testbed_.RequestedLine(DevicePath());
    }
    // For other adapters and ports on the same simulated machine.
    BridgeTestbed& Testbed() { return testbed_; }

  private:
    std::unique_ptr<BridgeTestbed> ownTestbed_;  // null when the testbed is shared
    BridgeTestbed& testbed_;
    UsbSerialAdapter adapter_;
    Pacing pacing_;
    std::string error_;
    std::unique_ptr<BootloaderModel> model_;
    std::unique_ptr<TtyServer> server_;
    int master_ = -1;
    int slave_ = -1;
};

}  // namespace ostrel::sim
