#include "device/linux/usb_ids.h"

#include <string_view>

namespace ostrel {
namespace {

bool IsUsbId(const char* id) {
    if (id == nullptr) return false;
    const std::string_view text(id);
    return text.size() == 4 && text.find_first_not_of("0123456789abcdefABCDEF") == text.npos;
}

}  // namespace

std::optional<std::string> UsbInterfacePath(udev_device* tty) {
    const char* vendor = udev_device_get_property_value(tty, "ID_VENDOR_ID");
    const char* model = udev_device_get_property_value(tty, "ID_MODEL_ID");
    if (!IsUsbId(vendor) || !IsUsbId(model)) {
        // Older rules put the ids on the USB device only; on removal it is already gone.
        udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
        if (usb == nullptr) return std::nullopt;
        vendor = udev_device_get_sysattr_value(usb, "idVendor");
        model = udev_device_get_sysattr_value(usb, "idProduct");
        if (!IsUsbId(vendor) || !IsUsbId(model)) return std::nullopt;
    }
    return std::string("USB\\VID_") + vendor + "&PID_" + model;
}

}  // namespace ostrel
