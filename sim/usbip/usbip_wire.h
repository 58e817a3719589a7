#pragma once
// The USB/IP messages between the kernel's vhci_hcd and a device on the other end of its
// socket. Every field is a big-endian 32-bit word; each message has a 48-byte header, followed
// by the transfer's data (host-to-device data after a submit, device-to-host data after its
// return).
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace ostrel::sim::usbip {

inline constexpr std::size_t kHeaderSize = 48;
inline constexpr std::uint32_t kCmdSubmit = 1;
inline constexpr std::uint32_t kCmdUnlink = 2;
inline constexpr std::uint32_t kRetSubmit = 3;
inline constexpr std::uint32_t kRetUnlink = 4;
inline constexpr std::uint32_t kDirOut = 0;
inline constexpr std::uint32_t kDirIn = 1;
inline constexpr std::int32_t kStatusStall = -32;      // -EPIPE
inline constexpr std::int32_t kStatusUnlinked = -104;  // -ECONNRESET

struct Setup {
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;
};

// A CMD_SUBMIT or CMD_UNLINK from the kernel.
struct Command {
    std::uint32_t command = 0;
    std::uint32_t seqnum = 0;
    std::uint32_t devid = 0;
    std::uint32_t direction = 0;
    std::uint32_t endpoint = 0;  // number without the direction bit
    std::uint32_t bufferLength = 0;
    std::uint32_t packets = 0;  // isochronous packets; 0 (or all ones) otherwise
    Setup setup;                // endpoint 0 only
    std::uint32_t unlinkSeqnum = 0;
    std::vector<std::uint8_t> data;  // host-to-device data of a submit
};

// Reads a command's header; how many data bytes follow is DataLength().
std::optional<Command> ParseCommandHeader(std::span<const std::uint8_t, kHeaderSize> header);
// Bytes of host-to-device data that follow the header (isochronous transfers are refused).
std::uint32_t DataLength(const Command& command);

// RET_SUBMIT for `command` with `status` and, for an IN transfer, its data.
std::vector<std::uint8_t> RetSubmit(const Command& command, std::int32_t status,
                                    std::span<const std::uint8_t> inData,
                                    std::uint32_t outDone = 0);
// RET_UNLINK for `command`: `status` is kStatusUnlinked when the transfer was still pending
// and was taken back, 0 when it had already completed.
std::vector<std::uint8_t> RetUnlink(const Command& command, std::int32_t status);

}  // namespace ostrel::sim::usbip
