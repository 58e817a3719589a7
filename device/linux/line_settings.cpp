#include "device/linux/line_settings.h"

namespace ostrel {

speed_t SpeedCode(std::uint32_t baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            return B0;
    }
}

bool SetBootloaderLine(termios& settings, std::uint32_t baud) {
    const speed_t speed = SpeedCode(baud);
    if (speed == B0) return false;
    cfmakeraw(&settings);
    settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IUCLC);
    settings.c_cflag &= ~(CSIZE | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | PARENB | CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    return true;
}

bool IsBootloaderLine(const termios& settings, std::uint32_t baud) {
    return cfgetospeed(&settings) == SpeedCode(baud) &&
           (settings.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB)) == (CS8 | PARENB);
}

}  // namespace ostrel
