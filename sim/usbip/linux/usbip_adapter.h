#pragma once
// One simulated CP2102 adapter with the tracker behind it, plugged into a port of the kernel's
// vhci_hcd: the kernel's USB core and cp210x driver talk to it over a socket as over USB/IP.
// Bytes on its bulk OUT pipe reach the bootloader model at the rate and parity the driver set;
// the answers go up the bulk IN pipe as the driver's read requests come.
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sim/bootloader_model.h"
#include "sim/tty/line_crossing.h"
#include "sim/usbip/cp2102_device.h"

namespace ostrel::sim::usbip {

class UsbipAdapter {
  public:
    using Clock = LineTiming::Clock;

    UsbipAdapter(BootloaderModel& model, int vhciPort, std::string serial, bool paced);
    ~UsbipAdapter();
    UsbipAdapter(const UsbipAdapter&) = delete;
    UsbipAdapter& operator=(const UsbipAdapter&) = delete;

    // Plugs the adapter in; false with a reason in `error` when vhci_hcd refuses.
    bool Attach(std::string& error);
    // Pulls it out: the kernel sees a disconnect.
    void Detach();
    bool Attached() const { return socket_ >= 0; }

    // Readable when the kernel sent something; -1 while detached.
    int PollDescriptor() const { return socket_; }
    // Handles what the kernel sent and sends what is due. Never waits for the kernel.
    void Process();
    // When Process() should run next for answers on their way; max() when none are.
    Clock::time_point NextDue() const;
    // Pulls the adapter out when the model begins its n-th exchange.
    void DetachAtExchange(std::size_t exchange) { detachAt_ = exchange; }

    const Cp2102Device& Device() const { return device_; }
    // The line control in force when the first byte reached the tracker; 0 before that.
    std::uint16_t LineControlInUse() const { return lineInUse_; }
    std::uint32_t BaudInUse() const { return baudInUse_; }
    std::uint32_t LockedRate() const { return rate_.Locked(); }
    std::uint32_t Detaches() const { return detaches_; }
    // Requests stalled since the adapter was made, over every plug-in.
    std::size_t Stalls() const { return earlierStalls_ + device_.Stalls().size(); }
    // The blocks the tracker stored while each plug-in lasted, in order.
    std::vector<std::uint32_t> BlocksWrittenPerPlugIn() const;

  private:
    bool ReadCommand();
    void BulkOut(const Command& command);
    void SendDue();
    void Send(const std::vector<std::uint8_t>& bytes);

    BootloaderModel& model_;
    int vhciPort_;
    Cp2102Device device_;
    LineTiming timing_;
    RateLock rate_;
    int socket_ = -1;
    std::deque<Command> reads_;  // the driver's bulk IN requests, oldest first
    std::deque<TimedByte> outgoing_;
    std::size_t detachAt_ = 0;
    std::uint16_t lineInUse_ = 0;
    std::uint32_t baudInUse_ = 0;
    std::uint32_t detaches_ = 0;
    std::size_t earlierStalls_ = 0;
    std::vector<std::uint32_t> blocksAtPlugIn_;  // the model's count at each plug-in
};

}  // namespace ostrel::sim::usbip
