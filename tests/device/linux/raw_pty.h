#pragma once
// A fresh pseudo-terminal whose master the test drives as the device side. It keeps a slave
// descriptor of its own, so the master never reads EIO and the tty's flags can be inspected.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace ostrel::test {

class RawPty {
  public:
    RawPty() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        char name[128] = {};
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
            ptsname_r(master, name, sizeof name) != 0) {
            return;
        }
        path = name;
        holder = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios t{};
        tcgetattr(master, &t);
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
    }
    ~RawPty() { HangUp(); }
    RawPty(const RawPty&) = delete;
    RawPty& operator=(const RawPty&) = delete;

    bool Ok() const { return holder >= 0; }
    // Closes both of our ends: whoever still has the slave open sees a hang-up.
    void HangUp() {
        if (holder >= 0) close(holder);
        if (master >= 0) close(master);
        holder = master = -1;
    }
    bool Exclusive() const {
        int exclusive = 0;
        return ioctl(holder, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
    }
    int Waiting() const {  // bytes the host sent, waiting at the master
        int count = 0;
        ioctl(master, FIONREAD, &count);
        return count;
    }

    int master = -1;
    int holder = -1;
    std::string path;
};

// The number the next descriptor opened will get.
inline int NextFreeDescriptor() {
    const int fd = dup(0);
    close(fd);
    return fd;
}

}  // namespace ostrel::test
