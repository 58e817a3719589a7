#pragma once
// The DEV_BROADCAST records of device-change notices (little-endian Windows layout). A notice's
// record comes from outside the program: its header is read first, and no byte beyond the
// record's own declared size, nor beyond the 256-byte name field, is ever read.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/device_events.h"

namespace ostrel {

inline constexpr std::uint64_t kDeviceArrival = 0x8000;         // DBT_DEVICEARRIVAL
inline constexpr std::uint64_t kDeviceRemoveComplete = 0x8004;  // DBT_DEVICEREMOVECOMPLETE
inline constexpr std::uint32_t kDeviceInterfaceType = 5;        // DBT_DEVTYP_DEVICEINTERFACE
inline constexpr std::size_t kRecordHeaderSize = 12;            // size, device type, reserved
inline constexpr std::size_t kInterfaceNameOffset = 28;
inline constexpr std::size_t kInterfaceNameSize = 256;
inline constexpr std::size_t kInterfaceRecordSize = kInterfaceNameOffset + kInterfaceNameSize;

using InterfaceRecord = std::array<std::uint8_t, kInterfaceRecordSize>;

// The registration filter: a device-interface record of 284 bytes (the Windows headers declare
// a one-byte name), type 5, all else zero.
InterfaceRecord InterfaceFilterRecord();

// The device-interface path a record carries: the name field up to its first zero byte, cut at
// the record's declared size and at 256 bytes. Empty for a record of another device type or one
// too short to hold a name.
std::string InterfacePathOf(const std::uint8_t* record);

// What one WM_DEVICECHANGE notice records for the watcher: kBridgeArrived or kBridgeRemoved for
// the bridge's interfaces, kNoDeviceEvent for every other code, device type or device. `record`
// is the notice's lParam and may be null.
PendingEvent BridgeEventOf(std::uint64_t eventCode, const std::uint8_t* record);

}  // namespace ostrel
