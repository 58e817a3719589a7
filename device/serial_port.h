#pragma once
// A serial port as the byte link: opened by name at 9600 baud (or the rate set before), 8 data
// bits, even parity, one stop bit, with the time-outs below.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/byte_link.h"
#include "device/line_rate.h"
#include "device/port_open_error.h"

namespace ostrel {

// A read ends 150 ms after its last byte, or 200 ms + 1 ms a byte asked for after it began.
inline constexpr std::chrono::milliseconds kReadGap{150};
inline constexpr std::chrono::milliseconds kReadTotal{200};
inline constexpr std::chrono::milliseconds kReadPerByte{1};
// One try of a wait for input; a wait of n tries lasts n of them.
inline constexpr std::chrono::milliseconds kWaitTry{1};

// How long a write of `bytes` at `baud` may take: their time on the line, since a driver may
// complete a write only once it is sent, plus 100 ms; in whole milliseconds, rounded up.
constexpr std::chrono::milliseconds WriteTimeout(std::size_t bytes, std::uint32_t baud) {
    return std::chrono::milliseconds(100) +
           std::chrono::ceil<std::chrono::milliseconds>(LineTime(bytes, baud));
}

class SerialPort : public ByteLink {
  public:
    // Opens and configures the named port ("COM3" on Windows, "/dev/ttyUSB0" on Linux). Any
    // failing step gives false and leaves no handle open.
    virtual bool OpenPort(const std::string& name) = 0;
    // Releases the port, with the line settings put back as OpenPort found them, so a port
    // probed in passing is left as it was. Afterwards every link operation fails or reports 0
    // without touching the released handle, whose value the system may already have handed to
    // something else.
    virtual void ClosePort() = 0;
    // The port went away under the open handle (the adapter was pulled out) and was released
    // at once, its settings not put back; the next OpenPort clears it.
    virtual bool HungUp() const { return false; }
    // Whether the open port's own device is still there, asked without exchanging data; false
    // where the port cannot tell (a removal notice is then taken as this port's).
    virtual bool DeviceStillPresent() { return false; }
    // Why the last OpenPort failed, or how the line came out after it succeeded.
    virtual PortOpenReport LastOpenReport() const { return {}; }

    // The rate in baud that the next OpenPort sets, one of kLineRates; 9600 unless changed.
    void SetLineRate(std::uint32_t baud) { lineRate_ = baud; }
    std::uint32_t LineRate() const { return lineRate_; }

  private:
    std::uint32_t lineRate_ = kDefaultLineRate;
};

// The platform's serial port (termios on Linux, the communications API on Windows).
std::unique_ptr<SerialPort> MakeSerialPort();

}  // namespace ostrel
