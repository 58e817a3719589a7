#include "device/notification_record.h"

#include <algorithm>

#include "device/port_names.h"

namespace ostrel {
namespace {

std::uint32_t ReadU32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void WriteU32(std::uint8_t* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

InterfaceRecord InterfaceFilterRecord() {
    InterfaceRecord record{};
    WriteU32(record.data(), static_cast<std::uint32_t>(kInterfaceRecordSize));
    WriteU32(record.data() + 4, kDeviceInterfaceType);
    return record;
}

std::string InterfacePathOf(const std::uint8_t* record) {
    if (record == nullptr) return {};
    // The header alone is safe to read; only then is the declared size trusted, and no further
    // than the name field reaches.
    if (ReadU32(record + 4) != kDeviceInterfaceType) return {};
    const std::size_t declared = ReadU32(record);
    if (declared <= kInterfaceNameOffset) return {};
    const std::size_t limit = std::min(declared, kInterfaceRecordSize) - kInterfaceNameOffset;
    const std::uint8_t* name = record + kInterfaceNameOffset;
    const std::uint8_t* end = std::find(name, name + limit, std::uint8_t{0});
    return std::string(name, end);
}

PendingEvent BridgeEventOf(std::uint64_t eventCode, const std::uint8_t* record) {
    if (eventCode != kDeviceArrival && eventCode != kDeviceRemoveComplete) return kNoDeviceEvent;
    if (!IsBridgeInterface(InterfacePathOf(record))) return kNoDeviceEvent;
    return eventCode == kDeviceArrival ? kBridgeArrived : kBridgeRemoved;
}

}  // namespace ostrel
