// tcgetattr and tcsetattr issued through the exported ioctl(), so that umockdev's handler sees
// the line settings a program asks for on a simulated node. glibc issues these ioctls inside
// libc, where the preloaded ioctl() never sees them. Built as a preload library for programs
// started behind the simulated bridge and linked into test programs that open its node.
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "sim/bridge/kernel_termios.h"

namespace {

using ostrel::sim::KernelTermios;

constexpr unsigned kInputSpeedShift = 16;  // CIBAUD holds the input speed code there

}  // namespace

extern "C" int tcgetattr(int fd, struct termios* settings) {
    KernelTermios k{};
    if (ioctl(fd, TCGETS, &k) != 0) return -1;
    std::memset(settings, 0, sizeof(*settings));
    settings->c_iflag = k.iflag;
    settings->c_oflag = k.oflag;
    settings->c_cflag = k.cflag;
    settings->c_lflag = k.lflag;
    settings->c_line = k.line;
    std::memset(settings->c_cc, _POSIX_VDISABLE, sizeof(settings->c_cc));
    std::memcpy(settings->c_cc, k.cc, std::min(sizeof(k.cc), sizeof(settings->c_cc)));
    settings->c_ospeed = k.cflag & CBAUD;
    const speed_t input = (k.cflag & CIBAUD) >> kInputSpeedShift;
    settings->c_ispeed = input != 0 ? input : settings->c_ospeed;
    return 0;
}

extern "C" int tcsetattr(int fd, int when, const struct termios* settings) {
    unsigned long request = 0;
    switch (when) {
        case TCSANOW:
            request = TCSETS;
            break;
        case TCSADRAIN:
            request = TCSETSW;
            break;
        case TCSAFLUSH:
            request = TCSETSF;
            break;
        default:
            errno = EINVAL;
            return -1;
    }
    KernelTermios k{};
    k.iflag = settings->c_iflag;
    k.oflag = settings->c_oflag;
    k.cflag = settings->c_cflag;
    k.lflag = settings->c_lflag;
    k.line = settings->c_line;
    std::memcpy(k.cc, settings->c_cc, std::min(sizeof(k.cc), sizeof(settings->c_cc)));
    return ioctl(fd, request, &k);
}
