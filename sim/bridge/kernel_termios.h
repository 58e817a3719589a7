#pragma once
// The kernel's struct termios: what the TCGETS and TCSETS* ioctls point at (glibc's own struct
// termios is laid out differently).
#include <cstdint>

namespace ostrel::sim {

struct KernelTermios {
    std::uint32_t iflag;
    std::uint32_t oflag;
    std::uint32_t cflag;
    std::uint32_t lflag;
    std::uint8_t line;
    std::uint8_t cc[19];
};
static_assert(sizeof(KernelTermios) == 36);

}  // namespace ostrel::sim
