// Device-change records come from outside the program: what is read from them, and what not.
#include "device/notification_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace ostrel {
namespace {

void PutU32(std::vector<std::uint8_t>& record, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) record[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A record of `declared` bytes by its header, laid in a buffer of `storage` bytes with `name`
// from the name offset on (no zero is added after it).
std::vector<std::uint8_t> Record(std::uint32_t type, std::uint32_t declared,
                                 const std::string& name, std::size_t storage = 320) {
    std::vector<std::uint8_t> record(storage, 0);
    PutU32(record, 0, declared);
    PutU32(record, 4, type);
    std::memcpy(record.data() + kInterfaceNameOffset, name.data(), name.size());
    return record;
}

constexpr char kBridgePath[] =
    "\\\\?\\USB#VID_10C4&PID_EA60#0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

TEST(NotificationRecord, FilterIsTheFull284ByteInterfaceRecord) {
    const InterfaceRecord filter = InterfaceFilterRecord();
    std::vector<std::uint8_t> expected(kInterfaceRecordSize, 0);
    PutU32(expected, 0, 284);
    PutU32(expected, 4, 5);
    EXPECT_EQ(std::vector<std::uint8_t>(filter.begin(), filter.end()), expected);
}

TEST(NotificationRecord, PathIsReadOnlyWithinTheRecordAndTheNameField) {
    const std::string ids = "VID_10C4&PID_EA60";
    const std::string fullName(kInterfaceNameSize, 'N');
    struct Case {
        const char* what;
        std::vector<std::uint8_t> record;
        std::string path;
    };
    std::vector<Case> cases = {
        {"ended by a zero byte", Record(5, 284, std::string(kBridgePath) + '\0' + "tail"),
         kBridgePath},
        {"cut at the declared size", Record(5, 28 + 8, kBridgePath), std::string(kBridgePath, 8)},
        {"header only", Record(5, 12, kBridgePath), ""},
        {"declared size zero", Record(5, 0, kBridgePath), ""},
        {"another device type", Record(3, 284, kBridgePath), ""},
        {"no zero byte: the whole field, nothing past it",
         Record(5, 284, fullName + ids, kInterfaceRecordSize + ids.size()), fullName},
        {"declared far larger than the field", Record(5, 0xFFFFFFFFu, fullName + ids), fullName},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InterfacePathOf(c.record.data()), c.path) << c.what;
    }
    EXPECT_EQ(InterfacePathOf(nullptr), "");
}

TEST(NotificationRecord, OnlyTheBridgeArrivingOrLeavingIsAnEvent) {
    const std::string lower = "\\\\?\\usb#vid_10c4&pid_ea60#0001#{a5dcbf10}";
    const std::string otherVendor = "\\\\?\\USB#VID_0403&PID_6001#A1#{a5dcbf10}";
    // The ids only in bytes past the declared size must not count.
    std::vector<std::uint8_t> idsPastSize = Record(5, 40, std::string(12, 'x') + kBridgePath);
    struct Case {
        const char* what;
        std::uint64_t code;
        std::vector<std::uint8_t> record;
        PendingEvent event;
    };
    const std::vector<Case> cases = {
        {"bridge arrives", kDeviceArrival, Record(5, 284, kBridgePath), kBridgeArrived},
        {"bridge removed", kDeviceRemoveComplete, Record(5, 284, kBridgePath), kBridgeRemoved},
        {"ids in lower case", kDeviceArrival, Record(5, 284, lower), kBridgeArrived},
        {"another vendor", kDeviceArrival, Record(5, 284, otherVendor), kNoDeviceEvent},
        {"a port broadcast", kDeviceArrival, Record(3, 284, kBridgePath), kNoDeviceEvent},
        {"query remove", 0x8001, Record(5, 284, kBridgePath), kNoDeviceEvent},
        {"code beyond 32 bits", 0x100008000ull, Record(5, 284, kBridgePath), kNoDeviceEvent},
        {"ids past the declared size", kDeviceArrival, idsPastSize, kNoDeviceEvent},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BridgeEventOf(c.code, c.record.data()), c.event) << c.what;
    }
    // Device-node changes carry no record at all.
    EXPECT_EQ(BridgeEventOf(0x0007, nullptr), kNoDeviceEvent);
    EXPECT_EQ(BridgeEventOf(kDeviceArrival, nullptr), kNoDeviceEvent);
}

}  // namespace
}  // namespace ostrel
