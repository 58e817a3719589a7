#pragma once
// A Silicon Labs CP2102 USB-to-UART bridge as the kernel's cp210x driver sees it over USB: its
// descriptors, the standard requests of enumeration and the vendor requests that set up the
// UART. It keeps the UART's settings (enable, rate, line control, modem handshake, flow) and
// answers a request it does not know with a stall, which it records so a test can fail on it.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/usbip/usbip_wire.h"

namespace ostrel::sim::usbip {

inline constexpr std::uint16_t kLineDataMask = 0x0F00;
inline constexpr std::uint16_t kLineParityMask = 0x00F0;
inline constexpr std::uint16_t kLineParityEven = 0x0020;
inline constexpr std::uint16_t kLineStopMask = 0x000F;

struct ControlAnswer {
    bool stalled = false;
    std::vector<std::uint8_t> data;  // device-to-host requests
};

class Cp2102Device {
  public:
    explicit Cp2102Device(std::string serial) : serial_(std::move(serial)) {}

    // Answers a control transfer on endpoint 0; `out` is its host-to-device data.
    ControlAnswer Control(const Setup& setup, std::span<const std::uint8_t> out);

    const std::string& Serial() const { return serial_; }
    bool UartEnabled() const { return enabled_; }
    std::uint32_t Baud() const { return baud_; }
    std::uint16_t LineControl() const { return lineControl_; }
    bool EvenParity8N1() const;                           // 8 data bits, even parity, 1 stop bit
    std::uint8_t ModemControl() const { return modem_; }  // DTR bit 0, RTS bit 1
    // The escape character of the embedded line events the driver turned on; 0 when off.
    std::uint8_t EventEscape() const { return escape_; }
    // Takes the bytes of the UART's receive queue as they go up the bulk IN pipe: with events
    // embedded, the escape character itself is sent as escape, 0.
    std::vector<std::uint8_t> Frame(std::span<const std::uint8_t> received) const;
    // "Purge" asked for the queues to be cleared since the last look; cleared on reading.
    bool TakePurge();
    // Requests that were stalled, each described for a log line.
    const std::vector<std::string>& Stalls() const { return stalls_; }
    // One line per request that changed the UART's settings, in order.
    const std::vector<std::string>& SettingsLog() const { return settingsLog_; }

  private:
    ControlAnswer Standard(const Setup& setup);
    ControlAnswer Vendor(const Setup& setup, std::span<const std::uint8_t> out);
    ControlAnswer Stall(const Setup& setup);
    void Note(const char* what, std::uint32_t value);

    std::string serial_;
    std::uint8_t configuration_ = 0;
    bool enabled_ = false;
    std::uint32_t baud_ = 9600;
    std::uint16_t lineControl_ = 0x0800;  // 8N1 after reset
    std::uint8_t modem_ = 0;
    std::uint8_t escape_ = 0;
    std::uint16_t eventMask_ = 0;
    std::uint16_t breakState_ = 0;
    std::vector<std::uint8_t> flow_ = std::vector<std::uint8_t>(16, 0);
    std::vector<std::uint8_t> chars_ = std::vector<std::uint8_t>(6, 0);
    bool purged_ = false;
    std::vector<std::string> stalls_;
    std::vector<std::string> settingsLog_;
};

}  // namespace ostrel::sim::usbip
