#include "sim/usbip/cp2102_device.h"

#include <algorithm>
#include <cstdio>

namespace ostrel::sim::usbip {
namespace {

// Request types: standard to device/interface/endpoint, vendor to interface or device.
constexpr std::uint8_t kVendorOut = 0x41;
constexpr std::uint8_t kVendorIn = 0xC1;
constexpr std::uint8_t kVendorDeviceIn = 0xC0;

// The cp210x vendor requests.
enum : std::uint8_t {
    kIfcEnable = 0x00,
    kSetBaudDiv = 0x01,
    kGetBaudDiv = 0x02,
    kSetLineCtl = 0x03,
    kGetLineCtl = 0x04,
    kSetBreak = 0x05,
    kSetMhs = 0x07,
    kGetMdmSts = 0x08,
    kSetEventMask = 0x0B,
    kGetEventMask = 0x0C,
    kGetChars = 0x0E,
    kGetCommStatus = 0x10,
    kReset = 0x11,
    kPurge = 0x12,
    kSetFlow = 0x13,
    kGetFlow = 0x14,
    kEmbedEvents = 0x15,
    kSetChars = 0x19,
    kGetBaudRate = 0x1D,
    kSetBaudRate = 0x1E,
    kVendorSpecific = 0xFF,
};
constexpr std::uint16_t kGetPartNumber = 0x370B;
constexpr std::uint8_t kPartCp2102 = 0x02;
constexpr std::uint32_t kBaudClock = 3686400;  // the divisor requests divide this

constexpr std::uint8_t kDeviceDescriptor[] = {
    18,   1,    0x10, 0x01,              // USB 1.1
    0,    0,    0,    64,                // class in the interface; 64-byte control endpoint
    0xC4, 0x10, 0x60, 0xEA, 0x00, 0x01,  // 10C4:EA60, release 1.00
    1,    2,    3,    1,                 // manufacturer, product, serial strings; one configuration
};
constexpr std::uint8_t kConfiguration[] = {
    9, 2, 32,   0, 1,  1,    0, 0x80, 50,  // one interface, bus powered, 100 mA
    9, 4, 0,    0, 2,  0xFF, 0, 0,    2,   // vendor-specific interface with two endpoints
    7, 5, 0x81, 2, 64, 0,    0,            // bulk IN 1
    7, 5, 0x01, 2, 64, 0,    0,            // bulk OUT 1
};

std::vector<std::uint8_t> StringDescriptor(const std::string& text) {
    std::vector<std::uint8_t> out{static_cast<std::uint8_t>(2 + 2 * text.size()), 3};
    for (char c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

std::vector<std::uint8_t> Le16(std::uint16_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
}

std::vector<std::uint8_t> Le32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

ControlAnswer Give(std::vector<std::uint8_t> data, std::uint16_t length) {
    if (data.size() > length) data.resize(length);
    return {false, std::move(data)};
}

}  // namespace

ControlAnswer Cp2102Device::Control(const Setup& setup, std::span<const std::uint8_t> out) {
    if ((setup.requestType & 0x60) == 0x00) return Standard(setup);
    if ((setup.requestType & 0x60) == 0x40) return Vendor(setup, out);
    return Stall(setup);
}

ControlAnswer Cp2102Device::Standard(const Setup& setup) {
    const std::uint8_t recipient = setup.requestType & 0x1F;
    const bool in = setup.requestType & 0x80;
    switch (setup.request) {
        case 0x06:  // GET_DESCRIPTOR
            if (!in || recipient != 0) break;
            switch (setup.value >> 8) {
                case 1:
                    return Give({std::begin(kDeviceDescriptor), std::end(kDeviceDescriptor)},
                                setup.length);
                case 2:
                    if ((setup.value & 0xFF) != 0) break;
                    return Give({std::begin(kConfiguration), std::end(kConfiguration)},
                                setup.length);
                case 3:
                    switch (setup.value & 0xFF) {
                        case 0:
                            return Give({4, 3, 0x09, 0x04}, setup.length);  // US English
                        case 1:
                            return Give(StringDescriptor("Silicon Labs"), setup.length);
                        case 2:
                            return Give(StringDescriptor("CP2102 USB to UART Bridge Controller"),
                                        setup.length);
                        case 3:
                            return Give(StringDescriptor(serial_), setup.length);
                    }
                    break;
            }
            break;
        case 0x09:  // SET_CONFIGURATION
            if (in || recipient != 0 || setup.value > 1) break;
            configuration_ = static_cast<std::uint8_t>(setup.value);
            return {};
        case 0x08:  // GET_CONFIGURATION
            if (!in || recipient != 0) break;
            return Give({configuration_}, setup.length);
        case 0x00:  // GET_STATUS: bus powered, no remote wake-up, endpoints not halted
            if (!in) break;
            return Give({0, 0}, setup.length);
        case 0x0B:  // SET_INTERFACE: the one interface has one setting
            if (in || recipient != 1 || setup.index != 0 || setup.value != 0) break;
            return {};
        case 0x01:  // CLEAR_FEATURE: an endpoint's halt; the bulk pipes never halt
            if (in || recipient != 2) break;
            return {};
    }
    return Stall(setup);
}

ControlAnswer Cp2102Device::Vendor(const Setup& setup, std::span<const std::uint8_t> out) {
    // The driver asks for the part number in one byte, then in two: a genuine CP2102 gives
    // two bytes to the second (clones give one, and the driver then avoids embedded events).
    if (setup.requestType == kVendorDeviceIn && setup.request == kVendorSpecific &&
        setup.value == kGetPartNumber && setup.index == 0) {
        return Give({kPartCp2102, 0x00}, setup.length);
    }
    if (setup.index != 0) return Stall(setup);  // one interface
    if (setup.requestType == kVendorOut) {
        const std::size_t size = out.size();
        if (size != setup.length) return Stall(setup);
        switch (setup.request) {
            case kIfcEnable:
                if (size != 0) break;
                enabled_ = setup.value & 1;
                Note("ifc_enable", enabled_);
                return {};
            case kSetBaudDiv:
                if (size != 0 || setup.value == 0) break;
                baud_ = kBaudClock / setup.value;
                Note("baud", baud_);
                return {};
            case kSetLineCtl:
                if (size != 0) break;
                lineControl_ = setup.value;
                Note("line_ctl", lineControl_);
                return {};
            case kSetBreak:
                if (size != 0) break;
                breakState_ = setup.value;
                Note("break", breakState_);
                return {};
            case kSetMhs: {
                if (size != 0) break;
                // The high byte says which of DTR (bit 0) and RTS (bit 1) to change.
                const std::uint8_t mask = (setup.value >> 8) & 0x03;
                modem_ = static_cast<std::uint8_t>((modem_ & ~mask) | (setup.value & mask));
                Note("mhs", modem_);
                return {};
            }
            case kSetEventMask:
                if (size != 0) break;
                eventMask_ = setup.value;
                return {};
            case kReset:
                if (size != 0) break;
                return {};
            case kPurge:
                if (size != 0) break;
                purged_ = true;
                Note("purge", setup.value);
                return {};
            case kEmbedEvents:
                if (size != 0) break;
                escape_ = static_cast<std::uint8_t>(setup.value);
                Note("embed_events", escape_);
                return {};
            case kSetFlow:
                if (size != flow_.size()) break;
                flow_.assign(out.begin(), out.end());
                Note("flow_handshake", static_cast<std::uint32_t>(out[0] | out[1] << 8 |
                                                                  out[2] << 16 | out[3] << 24));
                return {};
            case kSetChars:
                if (size != chars_.size()) break;
                chars_.assign(out.begin(), out.end());
                return {};
            case kSetBaudRate:
                if (size != 4) break;
                baud_ =
                    static_cast<std::uint32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
                Note("baud", baud_);
                return {};
        }
        return Stall(setup);
    }
    if (setup.requestType == kVendorIn) {
        switch (setup.request) {
            case kGetBaudDiv:
                return Give(Le16(static_cast<std::uint16_t>(kBaudClock / baud_)), setup.length);
            case kGetLineCtl:
                return Give(Le16(lineControl_), setup.length);
            case kGetMdmSts:
                return Give({modem_}, setup.length);
            case kGetEventMask:
                return Give(Le16(eventMask_), setup.length);
            case kGetChars:
                return Give(chars_, setup.length);
            case kGetFlow:
                return Give(flow_, setup.length);
            case kGetBaudRate:
                return Give(Le32(baud_), setup.length);
            case kGetCommStatus:
                // Errors, hold reasons, bytes in the receive and transmit queues: all zero, as
                // the bridge hands each byte on at once.
                return Give(std::vector<std::uint8_t>(19, 0), setup.length);
        }
    }
    return Stall(setup);
}

ControlAnswer Cp2102Device::Stall(const Setup& setup) {
    char text[96];
    std::snprintf(text, sizeof text, "stalled %02x %02x %04x %04x %04x", setup.requestType,
                  setup.request, setup.value, setup.index, setup.length);
    stalls_.emplace_back(text);
    return {true, {}};
}

void Cp2102Device::Note(const char* what, std::uint32_t value) {
    char text[64];
    std::snprintf(text, sizeof text, "%s=0x%X", what, value);
    settingsLog_.emplace_back(text);
}

bool Cp2102Device::EvenParity8N1() const {
    return (lineControl_ & kLineDataMask) == 0x0800 &&
           (lineControl_ & kLineParityMask) == kLineParityEven &&
           (lineControl_ & kLineStopMask) == 0;
}

std::vector<std::uint8_t> Cp2102Device::Frame(std::span<const std::uint8_t> received) const {
    std::vector<std::uint8_t> out;
    out.reserve(received.size());
    for (std::uint8_t byte : received) {
        out.push_back(byte);
        if (escape_ != 0 && byte == escape_) out.push_back(0x00);
    }
    return out;
}

bool Cp2102Device::TakePurge() {
    const bool was = purged_;
    purged_ = false;
    return was;
}

}  // namespace ostrel::sim::usbip
