// Sends the device-change notice of a CP210x bridge's arrival to the running updater's device
// window, as Windows does when the adapter is plugged in. Exit code 1 when no updater runs.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "device/notification_record.h"
#include "device/win32/device_events.h"

int main() {
    HWND watch =
        FindWindowExA(HWND_MESSAGE, nullptr, ostrel::win32::kDeviceWatchWindowClass, nullptr);
    if (watch == nullptr) {
        std::puts("no device window");
        return 1;
    }
    ostrel::InterfaceRecord record = ostrel::InterfaceFilterRecord();
    const char path[] = "\\\\?\\USB#VID_10C4&PID_EA60#0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    std::memcpy(record.data() + ostrel::kInterfaceNameOffset, path, sizeof path);
    // Sent, not posted: the record is marshalled to the other process with the message.
    SendMessageA(watch, WM_DEVICECHANGE, ostrel::kDeviceArrival,
                 reinterpret_cast<LPARAM>(record.data()));
    return 0;
}
