#include "sim/tty/tty_server.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include "sim/tty/line_crossing.h"
#include "sim/tty/usb_packets.h"

namespace ostrel::sim {
namespace {

using Clock = LineTiming::Clock;

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

void Drain(int fd) {
    std::uint64_t count = 0;
    if (fd >= 0) [[maybe_unused]]
        auto ignored = read(fd, &count, sizeof count);
}

// Raw, at a speed no host asks for: the host's next 8E1 request then changes something, which
// is what a pty needs to accept it, and nothing is echoed back into the server's reads.
void ResetPtyLine(int master) {
    termios settings{};
    if (tcgetattr(master, &settings) != 0) return;
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&settings, B4800);
    cfsetospeed(&settings, B4800);
    tcsetattr(master, TCSANOW, &settings);
}

// The speed set on the line; on a pty's master that is the slave's, which the host sets.
std::uint32_t LineSpeed(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return 0;
    return BaudOfSpeedCode(cfgetospeed(&settings));
}

int OpenPtySlave(int master) {
    const int fd = ioctl(master, TIOCGPTPEER, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) return fd;
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) return -1;
    return open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

}  // namespace

std::uint32_t BaudOfSpeedCode(unsigned code) {
    struct Pair {
        speed_t code;
        std::uint32_t baud;
    };
    static constexpr Pair kSpeeds[] = {
        {B1200, 1200},     {B2400, 2400},     {B4800, 4800},     {B9600, 9600},
        {B19200, 19200},   {B38400, 38400},   {B57600, 57600},   {B115200, 115200},
        {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
    };
    for (const Pair& p : kSpeeds) {
        if (p.code == code) return p.baud;
    }
    return 0;
}

struct TtyServer::Impl {
    Impl(BootloaderModel& m, Pacing pacing) : model(m), timing(pacing == Pacing::RealLine) {}

    bool Begin(int fd, bool owned, bool ptyMaster, std::string portPath);
    void EndLine();
    void EndHostSession();
    void ReadHostFileEvents();
    void ReadHost();
    std::uint32_t HostRate() const;
    void Answer(std::uint8_t byte, Clock::time_point sentAt, std::uint32_t hostBaud);
    void SendDue();
    void WatchWritable(bool writable);
    void ArmTimer();
    void RunRound();

    BootloaderModel& model;
    LineTiming timing;
    RateLock rate;
    std::function<std::uint32_t()> hostRateSource;
    mutable std::mutex mutex;
    std::condition_variable changed;

    int epoll = -1;
    int wake = -1;   // eventfd: Stop and requests from other threads
    int timer = -1;  // timerfd: the next answer byte is due
    int line = -1;   // pty master or tty device
    bool ownsLine = false;
    bool ptyMaster = false;
    int slaveHolder = -1;
    int hostFiles = -1;  // inotify on the slave, counting the host's open files
    int hostFileCount = 0;
    std::string path;

    std::deque<TimedByte> outgoing;
    bool writeBlocked = false;
    LineStats stats;
    std::size_t hangUpAt = 0;

    std::thread thread;
    std::atomic<bool> stopping{false};
};

bool TtyServer::Impl::Begin(int fd, bool owned, bool master, std::string portPath) {
    if (line >= 0) {
        if (owned) close(fd);
        return false;
    }
    line = fd;
    ownsLine = owned;
    ptyMaster = master;
    path = std::move(portPath);
    if (ptyMaster) {
        slaveHolder = OpenPtySlave(fd);
        ResetPtyLine(fd);
        hostFiles = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (slaveHolder < 0 || hostFiles < 0 ||
            inotify_add_watch(hostFiles, path.c_str(), IN_OPEN | IN_CLOSE) < 0) {
            EndLine();
            return false;
        }
        hostFileCount = 0;
        epoll_event ev{EPOLLIN, {.fd = hostFiles}};
        epoll_ctl(epoll, EPOLL_CTL_ADD, hostFiles, &ev);
    }
    epoll_event ev{EPOLLIN, {.fd = line}};
    if (epoll_ctl(epoll, EPOLL_CTL_ADD, line, &ev) != 0) {
        EndLine();
        return false;
    }
    writeBlocked = false;
    stats.serving = true;
    changed.notify_all();
    return true;
}

void TtyServer::Impl::EndLine() {
    if (hostFiles >= 0) epoll_ctl(epoll, EPOLL_CTL_DEL, hostFiles, nullptr);
    CloseFd(hostFiles);  // before the holder, whose close would count as the host's
    if (line >= 0) epoll_ctl(epoll, EPOLL_CTL_DEL, line, nullptr);
    CloseFd(slaveHolder);
    if (ownsLine) {
        CloseFd(line);
    } else {
        line = -1;
    }
    outgoing.clear();
    timing.DropAnswersInFlight();
    writeBlocked = false;
    stats.serving = false;
    ArmTimer();
    changed.notify_all();
}

// The host's last descriptor closed. A real adapter's driver drops what was not read, and the
// next opening must find the line as a fresh pty would be.
void TtyServer::Impl::EndHostSession() {
    outgoing.clear();
    timing.DropAnswersInFlight();
    tcflush(slaveHolder, TCIFLUSH);
    ResetPtyLine(line);
    ++stats.hostCloses;
}

void TtyServer::Impl::ReadHostFileEvents() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = read(hostFiles, buffer, sizeof buffer);
        if (got <= 0) return;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_OPEN) {
                // No reset here: the host may already have set its rate, which the line
                // must keep. The line was reset when it began and after the last close.
                if (hostFileCount++ == 0) ++stats.hostOpens;
            }
            if ((event->mask & IN_CLOSE) && hostFileCount > 0 && --hostFileCount == 0) {
                EndHostSession();
            }
        }
    }
}

void TtyServer::Impl::ReadHost() {
    std::uint8_t buffer[512];
    while (line >= 0) {
        const ssize_t got = read(line, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno == EAGAIN) return;
        if (got <= 0) {  // the tty device went away
            EndLine();
            return;
        }
        const Clock::time_point now = Clock::now();
        const std::uint32_t hostBaud = HostRate();
        stats.fromHost += static_cast<std::uint64_t>(got);
        for (ssize_t i = 0; i < got && line >= 0; ++i) Answer(buffer[i], now, hostBaud);
    }
}

std::uint32_t TtyServer::Impl::HostRate() const {
    return hostRateSource ? hostRateSource() : LineSpeed(line);
}

void TtyServer::Impl::Answer(std::uint8_t byte, Clock::time_point sentAt, std::uint32_t hostBaud) {
    std::vector<TimedByte> answer = CrossLine(model, timing, rate, byte, sentAt, hostBaud);
    GatherIntoPackets(answer);
    stats.lockedRate = rate.Locked();
    if (hangUpAt != 0 && model.Exchanges().size() >= hangUpAt) {
        hangUpAt = 0;
        EndLine();
        return;
    }
    outgoing.insert(outgoing.end(), answer.begin(), answer.end());
}

void TtyServer::Impl::SendDue() {
    const Clock::time_point now = Clock::now();
    std::uint8_t buffer[1024];
    bool blocked = false;
    while (line >= 0 && !blocked && !outgoing.empty() && outgoing.front().due <= now) {
        std::size_t count = 0;
        while (count < sizeof buffer && count < outgoing.size() && outgoing[count].due <= now) {
            buffer[count] = outgoing[count].byte;
            ++count;
        }
        const ssize_t put = write(line, buffer, count);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0 && errno == EAGAIN) {
            blocked = true;
        } else if (put < 0) {
            EndLine();
            return;
        } else {
            outgoing.erase(outgoing.begin(), outgoing.begin() + put);
            stats.toHost += static_cast<std::uint64_t>(put);
            blocked = static_cast<std::size_t>(put) < count;
        }
    }
    WatchWritable(blocked);
}

// While the host does not read, the pty fills up; wait for room instead of for the clock.
void TtyServer::Impl::WatchWritable(bool writable) {
    if (line < 0 || writable == writeBlocked) return;
    writeBlocked = writable;
    const std::uint32_t events = writable ? EPOLLIN | EPOLLOUT : EPOLLIN;
    epoll_event ev{events, {.fd = line}};
    epoll_ctl(epoll, EPOLL_CTL_MOD, line, &ev);
}

void TtyServer::Impl::ArmTimer() {
    itimerspec when{};  // all zero disarms
    if (!outgoing.empty() && !writeBlocked) {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            outgoing.front().due.time_since_epoch())
                            .count();
        when.it_value = {static_cast<time_t>(ns / 1'000'000'000),
                         static_cast<long>(ns % 1'000'000'000)};
        if (when.it_value.tv_sec == 0 && when.it_value.tv_nsec == 0) when.it_value.tv_nsec = 1;
    }
    timerfd_settime(timer, TFD_TIMER_ABSTIME, &when, nullptr);
}

void TtyServer::Impl::RunRound() {
    Drain(wake);
    Drain(timer);
    if (line >= 0) {
        if (hostFiles >= 0) ReadHostFileEvents();
        ReadHost();
        SendDue();
        ArmTimer();
    }
    changed.notify_all();
}

TtyServer::TtyServer(BootloaderModel& model, Pacing pacing)
    : impl_(std::make_unique<Impl>(model, pacing)) {
    impl_->epoll = epoll_create1(EPOLL_CLOEXEC);
    impl_->wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    impl_->timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    for (int fd : {impl_->wake, impl_->timer}) {
        epoll_event ev{EPOLLIN, {.fd = fd}};
        epoll_ctl(impl_->epoll, EPOLL_CTL_ADD, fd, &ev);
    }
}

TtyServer::~TtyServer() {
    Stop();
    {
        std::lock_guard lock(impl_->mutex);
        impl_->EndLine();
    }
    CloseFd(impl_->timer);
    CloseFd(impl_->wake);
    CloseFd(impl_->epoll);
}

bool TtyServer::ServeNewPty() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) return false;
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) ||
        fcntl(master, F_SETFL, O_NONBLOCK) != 0) {
        close(master);
        return false;
    }
    std::lock_guard lock(impl_->mutex);
    return impl_->Begin(master, true, true, name);
}

bool TtyServer::ServePtyMaster(int masterFd) {
    char name[128];
    if (ptsname_r(masterFd, name, sizeof name) != 0) return false;
    const int flags = fcntl(masterFd, F_GETFL);
    if (flags < 0 || fcntl(masterFd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
    std::lock_guard lock(impl_->mutex);
    return impl_->Begin(masterFd, false, true, name);
}

bool TtyServer::ServeTty(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        close(fd);
        return false;
    }
    // The device end of the bootloader's line: 9600 8E1, raw, reads that wait for a byte.
    cfmakeraw(&settings);
    settings.c_cflag &= ~(PARODD | CSTOPB | CRTSCTS);
    settings.c_cflag |= PARENB | CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    if (tcsetattr(fd, TCSANOW, &settings) != 0) {
        close(fd);
        return false;
    }
    std::lock_guard lock(impl_->mutex);
    return impl_->Begin(fd, true, false, path);
}

std::string TtyServer::PortPath() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->path;
}

int TtyServer::PollDescriptor() const {
    return impl_->epoll;
}

void TtyServer::Process() {
    std::lock_guard lock(impl_->mutex);
    impl_->RunRound();
}

void TtyServer::Start() {
    if (impl_->thread.joinable()) return;
    impl_->stopping = false;
    impl_->thread = std::thread([this] {
        while (!impl_->stopping) {
            epoll_event events[8];
            if (epoll_wait(impl_->epoll, events, 8, -1) < 0 && errno != EINTR) break;
            if (impl_->stopping) break;
            Process();
        }
    });
}

void TtyServer::Stop() {
    if (!impl_->thread.joinable()) return;
    impl_->stopping = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = write(impl_->wake, &one, sizeof one);
    impl_->thread.join();
}

void TtyServer::HangUp() {
    std::lock_guard lock(impl_->mutex);
    impl_->EndLine();
}

void TtyServer::HangUpAtExchange(std::size_t exchange) {
    std::lock_guard lock(impl_->mutex);
    impl_->hangUpAt = exchange;
}

void TtyServer::SetHostRateSource(std::function<std::uint32_t()> source) {
    std::lock_guard lock(impl_->mutex);
    impl_->hostRateSource = std::move(source);
}

LineStats TtyServer::Stats() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->stats;
}

void TtyServer::WaitUntil(const std::function<bool(const LineStats&)>& condition) {
    std::unique_lock lock(impl_->mutex);
    impl_->changed.wait(lock, [&] { return condition(impl_->stats); });
}

void TtyServer::WithModel(const std::function<void(BootloaderModel&)>& action) {
    std::lock_guard lock(impl_->mutex);
    action(impl_->model);
}

}  // namespace ostrel::sim
