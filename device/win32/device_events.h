#pragma once
// Device-change notices through a message-only window that the device layer owns. It lives on
// the thread that registers the watch (the GUI thread), whose event loop dispatches its messages.
#include <windows.h>

#include "device/device_events.h"

namespace ostrel::win32 {

inline constexpr char kDeviceWatchWindowClass[] = "OstrelDeviceWatch";

class Win32DeviceEventSource final : public DeviceEventSource {
  public:
    // Null when the window or the notification registration could not be made.
    static std::unique_ptr<Win32DeviceEventSource> Create();
    ~Win32DeviceEventSource() override;
    Win32DeviceEventSource(const Win32DeviceEventSource&) = delete;
    Win32DeviceEventSource& operator=(const Win32DeviceEventSource&) = delete;

    // Notices arrive as window messages; there is no descriptor to watch and nothing to read.
    int NotificationDescriptor() const override { return -1; }
    void ReadNotifications() override {}

    HWND Window() const { return window_; }

  private:
    Win32DeviceEventSource() = default;
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    HDEVNOTIFY registration_ = nullptr;
};

}  // namespace ostrel::win32
