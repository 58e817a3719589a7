#pragma once
// The bootloader's rate detection as its line sees it: it measures the rate of the first sync
// byte after power-up and keeps that rate until it is reset. A byte sent at another rate arrives
// garbled, in either direction: a receiver faster than the sender takes the long start bit for a
// zero byte, a slower one samples an idle (all ones) line.
#include <cstdint>

namespace ostrel::sim {

class RateLock {
  public:
    // The byte as the bootloader receives it from a host that sends at `hostBaud`.
    std::uint8_t ToDevice(std::uint8_t byte, std::uint32_t hostBaud);
    // The byte as a host that receives at `hostBaud` gets it from the bootloader.
    std::uint8_t ToHost(std::uint8_t byte, std::uint32_t hostBaud) const;
    // The rate the bootloader keeps; 0 until it has seen a sync byte.
    std::uint32_t Locked() const { return locked_; }

  private:
    std::uint32_t locked_ = 0;
};

}  // namespace ostrel::sim
