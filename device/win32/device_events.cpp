#include "device/win32/device_events.h"

#include <dbt.h>

#include "device/notification_record.h"

namespace ostrel {
namespace win32 {
namespace {
constexpr DWORD kAllInterfaceClasses =
    DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES;

bool RegisterWindowClass(HINSTANCE instance, WNDPROC proc) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kDeviceWatchWindowClass;
    return RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

std::unique_ptr<Win32DeviceEventSource> Win32DeviceEventSource::Create() {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterWindowClass(instance, &WindowProc)) return nullptr;
    std::unique_ptr<Win32DeviceEventSource> source(new Win32DeviceEventSource());
    source->window_ = CreateWindowExA(0, kDeviceWatchWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, instance, source.get());
    if (source->window_ == nullptr) return nullptr;
    // mingw declares the record with a one-byte name (32 bytes); the filter is the full 284.
    InterfaceRecord filter = InterfaceFilterRecord();
    source->registration_ =
        RegisterDeviceNotificationA(source->window_, filter.data(), kAllInterfaceClasses);
    if (source->registration_ == nullptr) return nullptr;
    return source;
}

Win32DeviceEventSource::~Win32DeviceEventSource() {
    if (registration_ != nullptr) UnregisterDeviceNotification(registration_);
    if (window_ != nullptr) DestroyWindow(window_);
}

LRESULT CALLBACK Win32DeviceEventSource::WindowProc(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* source =
        reinterpret_cast<Win32DeviceEventSource*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message != WM_DEVICECHANGE || source == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    // Only recorded here; the idle hook does the device work once the queue has run empty.
    const PendingEvent event = BridgeEventOf(wParam, reinterpret_cast<const std::uint8_t*>(lParam));
    if (event != kNoDeviceEvent) source->Record(event);
    return 0;
}

}  // namespace win32

std::unique_ptr<DeviceEventSource> RegisterDeviceWatch() {
    return win32::Win32DeviceEventSource::Create();
}

}  // namespace ostrel
