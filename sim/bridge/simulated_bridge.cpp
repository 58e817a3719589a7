#include "sim/bridge/simulated_bridge.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ostrel::sim {

SimulatedBridge::SimulatedBridge(Pacing pacing, UsbSerialAdapter adapter)
    : ownTestbed_(std::make_unique<BridgeTestbed>()),
      testbed_(*ownTestbed_),
      adapter_(std::move(adapter)),
      pacing_(pacing),
      model_(std::make_unique<BootloaderModel>()) {}

SimulatedBridge::SimulatedBridge(BridgeTestbed& testbed, Pacing pacing, UsbSerialAdapter adapter)
    : testbed_(testbed),
      adapter_(std::move(adapter)),
      pacing_(pacing),
      model_(std::make_unique<BootloaderModel>()) {}

SimulatedBridge::~SimulatedBridge() {
    Unplug();
}

bool SimulatedBridge::Plug() {
    if (!Ok() || IsPlugged()) return false;
    error_.clear();
    char path[128] = {};
    if (openpty(&master_, &slave_, path, nullptr, nullptr) != 0) {
        error_ = std::string("cannot make a pty: ") + std::strerror(errno);
        return false;
    }
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);

    // A new power-up: the memory stays, the bootloader's state does not.
    auto fresh = std::make_unique<BootloaderModel>();
    fresh->Memory() = model_->Memory();
    model_ = std::move(fresh);

    server_ = std::make_unique<TtyServer>(*model_, pacing_);
    // The pty never sees the program's settings; the rate is what the program asked the
    // bridge for, and the bridge's 9600 until it asks.
    server_->SetHostRateSource([this] {
        const std::optional<LineRequest> asked = RequestedLine();
        return asked ? BaudOfSpeedCode(asked->cflag & CBAUD) : 9600u;
    });
    if (!server_->ServePtyMaster(master_)) {
        error_ = "cannot serve the pty";
    } else if (!testbed_.Plug(adapter_, path, slave_)) {
        error_ = testbed_.Error();
    } else {
        server_->Start();
        return true;
    }
    server_.reset();
    close(master_);
    close(slave_);
    master_ = slave_ = -1;
    return false;
}

void SimulatedBridge::Unplug() {
    if (!IsPlugged()) return;
    server_->Stop();
    server_.reset();
    close(master_);  // the hang-up the program sees at once
    close(slave_);
    master_ = slave_ = -1;
    testbed_.Unplug(adapter_);
}

void SimulatedBridge::WithModel(const std::function<void(BootloaderModel&)>& action) {
    if (server_) {
        server_->WithModel(action);
    } else {
        action(*model_);
    }
}

}  // namespace ostrel::sim
