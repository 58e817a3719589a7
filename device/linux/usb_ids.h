#pragma once
// The USB ids of the device a tty belongs to, read from udev's records.
#include <libudev.h>

#include <optional>
#include <string>

namespace ostrel {

// The ids in the form a Windows device-interface path carries them ("USB\VID_10c4&PID_ea60"),
// so one bridge test (IsBridgeInterface) decides for the lookup and the hot-plug events on
// both platforms. A tty that is not on USB has none.
std::optional<std::string> UsbInterfacePath(udev_device* tty);

}  // namespace ostrel
