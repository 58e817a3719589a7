// The serial port over POSIX termios. The descriptor is non-blocking and every wait is a poll()
// with a deadline, which gives the read and write time-outs that VMIN/VTIME cannot express.
// A wait for input moves the bytes that have arrived into a look-ahead buffer of the port: poll()
// reports a tty readable while anything at all waits, so only an emptied kernel buffer lets it
// sleep until the next byte instead of returning at once, again and again.
#include "device/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <vector>

#include "device/linux/line_settings.h"
#include "device/look_ahead.h"

namespace ostrel {
namespace {

using Clock = std::chrono::steady_clock;

// Waits up to `limit` for `events` on `fd`. Returns the revents, 0 on a time-out or a signal.
short PollFor(int fd, short events, Clock::duration limit) {
    if (limit < Clock::duration::zero()) limit = Clock::duration::zero();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(limit).count();
    const timespec wait{static_cast<time_t>(ns / 1'000'000'000),
                        static_cast<long>(ns % 1'000'000'000)};
    pollfd p{fd, events, 0};
    if (ppoll(&p, 1, &wait, nullptr) <= 0) return 0;
    return p.revents;
}

class LinuxSerialPort final : public SerialPort {
  public:
    ~LinuxSerialPort() override { ClosePort(); }

    bool OpenPort(const std::string& name) override {
        ClosePort();
        report_ = {};
        hungUp_ = false;
        const int fd = open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return Refused(ErrorOfOpen(errno), errno);
        // One updater per port: TIOCEXCL does not stop root, an advisory lock does. It is taken
        // before anything touches the line, so a second updater changes nothing at all, and
        // it goes with the last descriptor of this opening.
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int failure = errno;
            close(fd);
            return Refused(failure == EWOULDBLOCK ? PortOpenError::InUse : PortOpenError::Other,
                           failure);
        }
        // Exclusive, so that no other program (a modem manager, say) interleaves bytes. Only
        // a terminal takes it: a file or /dev/null fails here.
        if (ioctl(fd, TIOCEXCL) != 0) {
            const int failure = errno;
            close(fd);
            return Refused(failure == ENOTTY ? PortOpenError::NotSerialPort : PortOpenError::Other,
                           failure);
        }
        termios found{};
        if (tcgetattr(fd, &found) != 0) return Abandon(fd, PortOpenError::NotSerialPort);
        termios wanted = found;
        if (!SetBootloaderLine(wanted, LineRate()) || tcsetattr(fd, TCSANOW, &wanted) != 0)
            return Abandon(fd, PortOpenError::SettingsRefused);
        // tcsetattr succeeds when the driver took any of the settings; only reading them back
        // shows a dropped parity bit.
        termios kept{};
        report_.lineSettingsKept = tcgetattr(fd, &kept) == 0 && IsBootloaderLine(kept, LineRate());
        found_ = found;
        fd_ = fd;
        return true;
    }

    void ClosePort() override {
        if (fd_ < 0) return;
        tcsetattr(fd_, TCSANOW, &found_);
        // The exclusive flag outlives our descriptor on a tty that someone else keeps open
        // (a pty's other side, for one), and would lock out the next open.
        ioctl(fd_, TIOCNXCL);
        Release();
    }

    PortOpenReport LastOpenReport() const override { return report_; }

    std::int32_t PendingInputCount() override {
        if (fd_ < 0) return 0;
        int count = 0;
        if (ioctl(fd_, FIONREAD, &count) != 0) {
            if (errno == EIO) HangUp();
            return 0;
        }
        return count + static_cast<std::int32_t>(ahead_.size());
    }

    // Discards everything the kernel holds for us, the line discipline's buffer that FIONREAD
    // counts and the driver buffers behind it alike, without copying a byte anywhere. Reading
    // the counted bytes instead would leave the rest of a flood behind, since the count never
    // exceeds the 4 KiB line-discipline buffer. Bytes arriving after the call stay waiting.
    void FlushInput() override {
        if (PendingInputCount() == 0) return;
        ahead_.clear();
        tcflush(fd_, TCIFLUSH);
    }

    bool ReadExact(std::uint8_t* buffer, std::uint16_t count, std::uint32_t& bytesRead) override {
        bytesRead = 0;
        if (fd_ < 0) return false;
        bytesRead = static_cast<std::uint32_t>(ahead_.TakeInto(buffer, count));
        const auto deadline = Clock::now() + kReadTotal + count * kReadPerByte;
        auto lastByte = Clock::now();
        while (bytesRead < count) {
            const ssize_t got = read(fd_, buffer + bytesRead, count - bytesRead);
            if (got > 0) {
                bytesRead += static_cast<std::uint32_t>(got);
                lastByte = Clock::now();
                continue;
            }
            // End of file on a tty means a hang-up; with VMIN 0 (a line set up by someone
            // else) it only means that nothing waits, which the poll below tells apart.
            if (got < 0 && errno != EAGAIN && errno != EINTR) {
                HangUp();
                return false;
            }
            const auto now = Clock::now();
            auto limit = deadline - now;
            if (bytesRead > 0) limit = std::min(limit, lastByte + kReadGap - now);
            if (limit <= Clock::duration::zero()) break;
            if (!AwaitReady(POLLIN, limit)) return false;
        }
        return bytesRead == count;
    }

    bool WriteAll(const std::uint8_t* buffer, std::uint16_t count) override {
        if (count == 0) return true;
        if (fd_ < 0) return false;
        const auto deadline = Clock::now() + WriteTimeout(count, LineRate());
        std::uint16_t written = 0;
        while (written < count) {
            const ssize_t put = write(fd_, buffer + written, count - written);
            if (put > 0) {
                written = static_cast<std::uint16_t>(written + put);
                continue;
            }
            if (put < 0 && errno != EAGAIN && errno != EINTR) {
                if (errno == EIO) HangUp();
                return false;
            }
            const auto limit = deadline - Clock::now();
            if (limit <= Clock::duration::zero()) return false;
            if (!AwaitReady(POLLOUT, limit)) return false;
        }
        return true;
    }

    // The tries of a wait follow each other with nothing in between, so the whole wait is one
    // deadline of `tries` ms: the thread sleeps until a byte arrives or the deadline passes,
    // instead of waking every millisecond to look.
    bool WaitForInput(std::uint32_t tries, std::uint16_t count) override {
        return tries > 0 && AwaitInput(count, tries * kWaitTry);
    }

  protected:
    bool AwaitOneTry(std::uint16_t count) override { return AwaitInput(count, kWaitTry); }

  private:
    // True as soon as `count` bytes are waiting; false once `limit` has passed without them.
    bool AwaitInput(std::uint16_t count, Clock::duration limit) {
        if (count == 0) return true;
        const auto end = Clock::now() + limit;
        while (fd_ >= 0 && ahead_.size() < count) {
            const ssize_t got = ahead_.Append(
                count - ahead_.size(),
                [this](std::uint8_t* to, std::size_t room) { return read(fd_, to, room); });
            if (ahead_.size() == count) break;
            // A short read took all there was: the next byte is for poll() to wait for.
            if (got < 0 && errno != EAGAIN && errno != EINTR) {
                HangUp();
                break;
            }
            const auto nap =
                got > 0 ? NapForAllButOne(count - ahead_.size(), LineRate(), end - Clock::now())
                        : std::chrono::nanoseconds::zero();
            if (nap > nap.zero()) SleepUntil(Clock::now() + nap);
            const auto left = end - Clock::now();
            // The nap may end at the deadline with the bytes already there: they count.
            if (left <= Clock::duration::zero()) return PendingInputCount() >= count;
            if (!AwaitReady(POLLIN, left)) break;
        }
        if (fd_ >= 0) return true;
        SleepUntil(end);  // a closed port still spends the wait, so that it lasts its budget
        return false;
    }

    static void SleepUntil(Clock::time_point when) {
        const auto ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch());
        const timespec until{static_cast<time_t>(ns.count() / 1'000'000'000),
                             static_cast<long>(ns.count() % 1'000'000'000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
        }
    }

  private:
    static PortOpenError ErrorOfOpen(int error) {
        switch (error) {
            case ENOENT:
            case ENOTDIR:
            case ENODEV:
            case ENXIO:  // a node whose device is gone
                return PortOpenError::NotFound;
            case EACCES:
            case EPERM:
                return PortOpenError::AccessDenied;
            case EBUSY:  // held exclusively by another program
                return PortOpenError::InUse;
            case EISDIR:
                return PortOpenError::NotSerialPort;
            default:
                return PortOpenError::Other;
        }
    }

    // Records why the open failed, with the system's words for `code`; false, for the caller
    // to return.
    bool Refused(PortOpenError error, int code) {
        report_.error = error;
        report_.systemText = std::strerror(code);
        return false;
    }

    // A configuration step failed on an opened terminal: give the port back as it was.
    bool Abandon(int fd, PortOpenError error) {
        const int failure = errno;
        ioctl(fd, TIOCNXCL);
        close(fd);
        return Refused(error, failure);
    }

    // Polls for `events` up to `limit`. False, with the port released, when the device has
    // gone away; a time-out is true (the caller's loop looks at the clock again).
    bool AwaitReady(short events, Clock::duration limit) {
        if (PollFor(fd_, events, limit) & (POLLERR | POLLHUP | POLLNVAL)) {
            HangUp();
            return false;
        }
        return true;
    }

    // Gives the descriptor back at once. From here on no operation uses its number, which the
    // system hands to the next file anyone opens.
    bool HungUp() const override { return hungUp_; }

    // The device is gone: the descriptor is given back, and the port remembers why.
    void HangUp() {
        Release();
        hungUp_ = true;
    }

    void Release() {
        close(fd_);
        fd_ = -1;
        ahead_.clear();
    }

    int fd_ = -1;
    bool hungUp_ = false;
    termios found_{};  // the line as OpenPort found it, put back by ClosePort
    PortOpenReport report_;
    LookAhead ahead_;  // arrived, taken from the kernel by a wait, not yet read
};

}  // namespace

std::unique_ptr<SerialPort> MakeSerialPort() {
    return std::make_unique<LinuxSerialPort>();
}

}  // namespace ostrel
