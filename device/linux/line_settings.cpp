#include "device/linux/line_settings.h"

namespace ostrel {

void SetBootloaderLine(termios& settings) {
    cfmakeraw(&settings);
    settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IUCLC);
    settings.c_cflag &= ~(CSIZE | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | PARENB | CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
}

bool IsBootloaderLine(const termios& settings) {
    return cfgetospeed(&settings) == B9600 &&
           (settings.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB)) == (CS8 | PARENB);
}

}  // namespace ostrel
