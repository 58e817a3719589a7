#include "sim/tty/rate_lock.h"

namespace ostrel::sim {
namespace {

constexpr std::uint8_t kSyncByte = 0x7F;

std::uint8_t Received(std::uint8_t byte, std::uint32_t sentAt, std::uint32_t heardAt) {
    if (sentAt == heardAt) return byte;
    return heardAt > sentAt ? 0x00 : 0xFF;
}

}  // namespace

std::uint8_t RateLock::ToDevice(std::uint8_t byte, std::uint32_t hostBaud) {
    // Before the sync the bootloader only measures; whatever else it hears it ignores.
    if (locked_ == 0) {
        if (byte == kSyncByte) locked_ = hostBaud;
        return byte;
    }
    return Received(byte, hostBaud, locked_);
}

std::uint8_t RateLock::ToHost(std::uint8_t byte, std::uint32_t hostBaud) const {
    return locked_ == 0 ? byte : Received(byte, locked_, hostBaud);
}

}  // namespace ostrel::sim
