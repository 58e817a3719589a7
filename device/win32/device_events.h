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
    static std::unique_ptr<Win32DeviceEventSource> Create(UpdaterState& state);
    ~Win32DeviceEventSource() override;
    Win32DeviceEventSource(const Win32DeviceEventSource&) = delete;
    Win32DeviceEventSource& operator=(const Win32DeviceEventSource&) = delete;

    // Notices arrive as window messages; there is no descriptor to watch and nothing to read.
    int NotificationDescriptor() const override { return -1; }
    void ReadNotifications() override {}

    HWND Window() const { return window_; }

  private:
    explicit Win32DeviceEventSource(UpdaterState& state) : state_(state) {}
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UpdaterState& state_;
    HWND window_ = nullptr;
    HDEVNOTIFY registration_ = nullptr;
};

}  // namespace ostrel::win32
