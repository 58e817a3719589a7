// Program entry on Windows: the wizard window on the system's serial port, port directory and
// device notifications, and the message loop whose idle step is the controller's. The command
// line is not read, and the exit code is 0 however the window was closed.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include "device/device_events.h"
#include "device/port_directory.h"
#include "device/serial_port.h"
#include "wizard/controller.h"
#include "wizard/win32/message_loop.h"
#include "wizard/win32/wizard_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    const std::unique_ptr<ostrel::SerialPort> port = ostrel::MakeSerialPort();
    const std::unique_ptr<ostrel::PortDirectory> directory = ostrel::MakePortDirectory();
    // The window outlives the loop, so a handler still running when it closes (an update in
    // progress) returns into intact controls.
    ostrel::win32::Win32WizardWindow window(instance, ostrel::win32::SystemDpi());
    ostrel::WizardController controller(window, *port, *directory, &ostrel::RegisterDeviceWatch);
    window.Attach(controller);
    controller.OnCreate();
    ShowWindow(window.Window(), show);
    ostrel::win32::RunMessageLoop(window.Window(), [&] { controller.OnIdle(); });
    return 0;
}
