// Device-change notices delivered to the watch window as Windows delivers them, under Wine.
#include "device/win32/device_events.h"

#include <dbt.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/notification_record.h"

namespace ostrel {
namespace {

std::vector<std::uint8_t> Record(std::uint32_t type, const std::string& name,
                                 std::uint32_t declared = kInterfaceRecordSize) {
    std::vector<std::uint8_t> record(kInterfaceRecordSize + 32, 0);
    std::memcpy(record.data(), &declared, 4);
    std::memcpy(record.data() + 4, &type, 4);
    std::memcpy(record.data() + kInterfaceNameOffset, name.data(),
                std::min(name.size(), record.size() - kInterfaceNameOffset));
    return record;
}

TEST(Win32DeviceWatch, RecordsOnlyTheBridgesArrivalAndRemoval) {
    auto source = RegisterDeviceWatch();
    ASSERT_NE(source, nullptr) << "window or notification registration failed";
    EXPECT_EQ(source->PendingNotice(), kNoDeviceEvent) << "none pending at the registration";
    EXPECT_EQ(source->NotificationDescriptor(), -1);
    // Found the way the system finds it: a message-only window of the device layer's class.
    HWND window = FindWindowExA(HWND_MESSAGE, nullptr, win32::kDeviceWatchWindowClass, nullptr);
    ASSERT_NE(window, nullptr);

    const std::string bridge = "\\\\?\\USB#VID_10C4&PID_EA60#0001#{a5dcbf10-6530-11d2}";
    const std::string unterminated =
        "\\\\?\\USB#VID_10C4&PID_EA60#" + std::string(kInterfaceNameSize, 'Z');
    struct Case {
        const char* what;
        WPARAM code;
        std::vector<std::uint8_t> record;  // empty: no record (lParam 0)
        std::uint8_t before;
        std::uint8_t after;
    };
    const std::vector<Case> cases = {
        {"arrival", DBT_DEVICEARRIVAL, Record(5, bridge), kNoDeviceEvent, kBridgeArrived},
        {"removal overwrites a pending arrival", DBT_DEVICEREMOVECOMPLETE, Record(5, bridge),
         kBridgeArrived, kBridgeRemoved},
        {"lower-case ids", DBT_DEVICEARRIVAL,
         Record(5, "\\\\?\\usb#vid_10c4&pid_ea60#0001#{a5dcbf10}"), kBridgeRemoved, kBridgeArrived},
        {"another vendor", DBT_DEVICEARRIVAL, Record(5, "\\\\?\\USB#VID_0403&PID_6001#A1"),
         kBridgeRemoved, kBridgeRemoved},
        {"another device type", DBT_DEVICEREMOVECOMPLETE, Record(DBT_DEVTYP_PORT, bridge),
         kBridgeArrived, kBridgeArrived},
        {"unknown event code", DBT_DEVNODES_CHANGED, {}, kBridgeArrived, kBridgeArrived},
        {"arrival without a record", DBT_DEVICEARRIVAL, {}, kBridgeRemoved, kBridgeRemoved},
        {"name with no zero byte in its record", DBT_DEVICEARRIVAL, Record(5, unterminated),
         kNoDeviceEvent, kBridgeArrived},
        {"ids only beyond the declared size", DBT_DEVICEARRIVAL, Record(5, bridge, 30),
         kNoDeviceEvent, kNoDeviceEvent},
    };
    for (const Case& c : cases) {
        source->Record(static_cast<PendingEvent>(c.before));
        const LPARAM record = c.record.empty() ? 0 : reinterpret_cast<LPARAM>(c.record.data());
        EXPECT_EQ(SendMessageA(window, WM_DEVICECHANGE, c.code, record), 0) << c.what;
        EXPECT_EQ(source->PendingNotice(), c.after) << c.what;
    }

    source.reset();
    EXPECT_EQ(FindWindowExA(HWND_MESSAGE, nullptr, win32::kDeviceWatchWindowClass, nullptr),
              nullptr)
        << "the window goes with its source";
}

}  // namespace
}  // namespace ostrel
