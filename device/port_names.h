#pragma once
// Name rules for recognising the adapter's CP210x bridge. Texts are single-byte strings and are
// compared after ASCII-only upper-casing (a-z to A-Z, every other byte unchanged).
#include <string>
#include <string_view>

namespace ostrel {

std::string AsciiUpper(std::string_view text);

// The maker text "SILICON LABS" and the chip text "CP210X" both occur, in either order.
bool IsBridgeDeviceName(std::string_view name);

// The Windows rule: from the first "COM" at or after the maker text, every digit to the end of
// the name, behind "COM" ("... (COM3) 2" gives "COM32"). Empty when the name is not the bridge's
// or carries no digit there.
std::string ComPortFromDeviceName(std::string_view name);

// A Windows hardware id of the bridge: it begins with "USB\VID_10C4&PID_EA60", in any letter case
// ("USB\VID_10C4&PID_EA60&REV_0100").
bool IsBridgeHardwareId(std::string_view id);

// The adapter's USB serial number, the last part of its Windows device instance id
// ("USB\VID_10C4&PID_EA60\0001" gives "0001"). Empty when the id is not the bridge's, or when
// Windows made that part up because the adapter has no serial number of its own, or shares it
// with another plugged in ("5&2C6B1A3F&0&2": a made-up part holds '&', a serial number never).
std::string UsbSerialFromInstanceId(std::string_view id);

// A device-interface path of the bridge: it holds "VID_10C4&PID_EA60", in any letter case.
bool IsBridgeInterface(std::string_view path);

// Names in the order a person expects: runs of digits compare as numbers, so "ttyS2" comes
// before "ttyS10" and bay "hub1-2" before "hub1-10".
bool NaturalLess(std::string_view a, std::string_view b);

// The bay, the physical USB socket an adapter is plugged into, as a technician labels it. It
// is the same every time an adapter is plugged into that socket, whichever adapter it is
// (CP2102s of one batch often share a serial number). All three give "controller-ports":
// Linux, from the USB device's path: ".../usb1/1-1.2" gives "1-1.2" (bus 1, port 1, then
// port 2 of the hub there).
std::string BayFromUsbDevicePath(std::string_view path);
// Windows, from the first of the location paths: "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(2)"
// gives "1400-1.2". Empty when it holds no USB port.
std::string BayFromLocationPath(std::string_view path);
// Windows, from the location information when there are no location paths:
// "Port_#0002.Hub_#0001" gives "hub1-2". Empty when it does not read so.
std::string BayFromLocationInformation(std::string_view information);

}  // namespace ostrel
