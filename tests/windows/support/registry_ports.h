#pragma once
// Makes Wine's device registry look like a PC with a CP210x adapter plugged in, entered the way
// Windows enters it: the USB device in the Ports setup class with its friendly name, hardware id
// and port name, and no interface of the Ports class (the VCP driver registers none). With an
// on-board port, a "Communications Port (COM1)" whose serial enumerator registers that interface.
// Without a friendly name, the adapter has only its device description, which names no port.
// Each adapter carries the location information of its hub socket; a second adapter of the same
// batch (the same serial number) sits in a lower-numbered socket of that hub.
// Everything it enters is removed again when it ends, also what an earlier run left.
#include <windows.h>

namespace ostrel::test {

class RegistryPorts {
  public:
    struct Machine {
        bool onBoardPort = false;
        bool adapterFriendlyName = true;
        // COM12 in socket 2 of hub 1, beside the first adapter (COM7, socket 10).
        bool secondAdapter = false;
        // The on-board port as a Russian Windows names it: "Последовательный порт (COM1)".
        bool russianNames = false;
        // A serial port over a Bluetooth link, COM9, as the Bluetooth enumerator enters it.
        bool bluetoothPort = false;
    };
    explicit RegistryPorts(Machine machine);
    ~RegistryPorts();
    RegistryPorts(const RegistryPorts&) = delete;
    RegistryPorts& operator=(const RegistryPorts&) = delete;

    // Every value was written.
    bool Entered() const { return entered_; }

  private:
    bool entered_ = false;
};

}  // namespace ostrel::test
