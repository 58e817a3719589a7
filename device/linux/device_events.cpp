// Bridge arrival and removal notices on Linux: udev's processed events for tty devices.
#include "device/device_events.h"

#include <libudev.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "device/linux/usb_ids.h"
#include "device/port_names.h"

namespace ostrel {
namespace {

// Bounds the work of one readable wake-up; what is left keeps the descriptor readable.
constexpr int kMaxEventsPerRead = 64;

class UdevDeviceEventSource : public DeviceEventSource {
  public:
    UdevDeviceEventSource(udev* context, udev_monitor* monitor)
        : context_(context), monitor_(monitor) {}
    ~UdevDeviceEventSource() override {
        udev_monitor_unref(monitor_);
        udev_unref(context_);
    }
    UdevDeviceEventSource(const UdevDeviceEventSource&) = delete;
    UdevDeviceEventSource& operator=(const UdevDeviceEventSource&) = delete;

    int NotificationDescriptor() const override { return udev_monitor_get_fd(monitor_); }

    // The monitor's socket does not block, so this returns once the queue is empty.
    void ReadNotifications() override {
        for (int i = 0; i < kMaxEventsPerRead; ++i) {
            udev_device* device = udev_monitor_receive_device(monitor_);
            if (device == nullptr) return;
            RecordDevice(device);
            udev_device_unref(device);
        }
    }
    std::vector<BayNotice> TakeBayNotices() override { return std::exchange(bays_, {}); }

  private:
    void RecordDevice(udev_device* device) {
        const char* action = udev_device_get_action(device);
        if (action == nullptr) return;
        const std::string_view what(action);
        const std::uint8_t event = what == "add"      ? kBridgeArrived
                                   : what == "remove" ? kBridgeRemoved
                                                      : kNoDeviceEvent;
        if (event == kNoDeviceEvent) return;
        const std::optional<std::string> path = UsbInterfacePath(device);
        if (!path || !IsBridgeInterface(*path)) return;
        Record(static_cast<PendingEvent>(event));
        // Kept for a reader that takes them; a reader that never does keeps only the latest.
        if (bays_.size() == kMaxEventsPerRead) bays_.erase(bays_.begin());
        if (const char* sysPath = udev_device_get_syspath(device)) {
            bays_.push_back({static_cast<PendingEvent>(event), BayOfTty(sysPath)});
        }
    }

    // The USB device's own folder is the last one before its interfaces ("1-1.2:1.0"):
    // ".../usb1/1-1.2/1-1.2:1.0/ttyUSB0/tty/ttyUSB0" is in bay "1-1.2". A removed device's
    // parents may be gone already, so its path is read rather than its parents.
    static std::string BayOfTty(std::string_view path) {
        const std::size_t interface = path.find(':', path.find("/usb"));
        if (interface == std::string_view::npos) return {};
        const std::size_t end = path.rfind('/', interface);
        if (end == std::string_view::npos) return {};
        return BayFromUsbDevicePath(path.substr(0, end));
    }

    std::vector<BayNotice> bays_;
    udev* context_;
    udev_monitor* monitor_;
};

}  // namespace

std::unique_ptr<DeviceEventSource> RegisterDeviceWatch() {
    udev* context = udev_new();
    if (context == nullptr) return nullptr;
    // The "udev" source delivers events after the rules ran, so the node exists and the
    // properties (ids, names) are attached.
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    if (monitor == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::make_unique<UdevDeviceEventSource>(context, monitor);
}

}  // namespace ostrel
