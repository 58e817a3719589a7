// Program entry: the application object, the one window on the platform's serial port, port
// directory and device watch, and the main loop. The command line is not read, and the exit
// code is 0 however the window was closed.
#include <QApplication>

#include "device/device_events.h"
#include "device/port_directory.h"
#include "device/serial_port.h"
#include "wizard/controller.h"
#include "wizard/qt/wizard_window.h"

int main(int, char** argv) {
    int argc = 1;  // Qt sees the program's name only
    QApplication application(argc, argv);
    const std::unique_ptr<ostrel::SerialPort> port = ostrel::MakeSerialPort();
    const std::unique_ptr<ostrel::PortDirectory> directory = ostrel::MakePortDirectory();
    // Both outlive the loop, so a handler still running when the window closes (an update in
    // progress) returns into an intact window and controller.
    ostrel::QtWizardWindow window;
    ostrel::WizardController controller(window, *port, *directory, &ostrel::RegisterDeviceWatch);
    window.Attach(controller);
    controller.OnCreate();
    window.show();
    QApplication::exec();
    return 0;
}
