#include "sim/usbip/linux/usbip_adapter.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <fstream>

namespace ostrel::sim::usbip {
namespace {

constexpr const char* kVhciDir = "/sys/devices/platform/vhci_hcd.0/";
constexpr int kFullSpeed = 2;
constexpr std::uint8_t kBulkEndpoint = 1;

bool ReadExactly(int fd, std::uint8_t* into, std::size_t count) {
    while (count > 0) {
        const ssize_t got = read(fd, into, count);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        into += got;
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

bool WriteControlFile(const std::string& name, const std::string& text) {
    std::ofstream out(kVhciDir + name);
    out << text;
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace

UsbipAdapter::UsbipAdapter(BootloaderModel& model, int vhciPort, std::string serial, bool paced)
    : model_(model), vhciPort_(vhciPort), device_(std::move(serial)), timing_(paced) {}

UsbipAdapter::~UsbipAdapter() {
    Detach();
}

bool UsbipAdapter::Attach(std::string& error) {
    if (socket_ >= 0) return true;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        error = "no socket pair";
        return false;
    }
    // vhci_hcd takes the kernel's end by its descriptor number in this process; it keeps its
    // own reference, so this process's copy is closed once it is attached.
    const std::uint32_t devid = (1u << 16) | static_cast<std::uint32_t>(vhciPort_ + 2);
    char line[64];
    std::snprintf(line, sizeof line, "%d %d %u %d", vhciPort_, pair[1], devid, kFullSpeed);
    const bool attached = WriteControlFile("attach", line);
    close(pair[1]);
    if (!attached) {
        close(pair[0]);
        error = std::string("vhci_hcd refused \"") + line + "\"";
        return false;
    }
    socket_ = pair[0];
    // A new plug-in is a fresh bridge, but its stalls still count against the whole run.
    earlierStalls_ += device_.Stalls().size();
    device_ = Cp2102Device(device_.Serial());
    blocksAtPlugIn_.push_back(model_.BlocksWritten());
    // The adapter powers the tracker's bootloader side: plugging it in restarts the part,
    // which measures the rate of the next sync afresh.
    rate_ = RateLock();
    model_.Restart();
    return true;
}

void UsbipAdapter::Detach() {
    if (socket_ < 0) return;
    WriteControlFile("detach", std::to_string(vhciPort_));
    close(socket_);
    socket_ = -1;
    reads_.clear();
    outgoing_.clear();
    timing_.DropAnswersInFlight();
    ++detaches_;
}

void UsbipAdapter::Process() {
    if (socket_ >= 0) {
        pollfd watched{socket_, POLLIN, 0};
        while (socket_ >= 0 && poll(&watched, 1, 0) > 0) {
            if (!ReadCommand()) {
                Detach();  // the kernel let go of the device
                break;
            }
        }
    }
    SendDue();
}

bool UsbipAdapter::ReadCommand() {
    std::array<std::uint8_t, kHeaderSize> header{};
    if (!ReadExactly(socket_, header.data(), header.size())) return false;
    std::optional<Command> command = ParseCommandHeader(header);
    if (!command) {
        std::fprintf(stderr, "usbip: port %d: a message it cannot read\n", vhciPort_);
        return false;
    }
    command->data.resize(DataLength(*command));
    if (!command->data.empty() &&
        !ReadExactly(socket_, command->data.data(), command->data.size())) {
        return false;
    }
    if (command->command == kCmdUnlink) {
        // A read the driver cancels (its port closes) is taken back if it is still waiting.
        for (auto it = reads_.begin(); it != reads_.end(); ++it) {
            if (it->seqnum == command->unlinkSeqnum) {
                reads_.erase(it);
                Send(RetUnlink(*command, kStatusUnlinked));
                return true;
            }
        }
        Send(RetUnlink(*command, 0));
        return true;
    }
    if (command->packets != 0 && command->packets != 0xFFFFFFFF) {
        Send(RetSubmit(*command, kStatusStall, {}));
        return true;
    }
    if (command->endpoint == 0) {
        const ControlAnswer answer = device_.Control(command->setup, command->data);
        if (answer.stalled) {
            std::fprintf(stderr, "usbip: port %d: %s\n", vhciPort_,
                         device_.Stalls().back().c_str());
        }
        if (!device_.UartEnabled() || device_.TakePurge()) {
            outgoing_.clear();
            timing_.DropAnswersInFlight();
        }
        Send(RetSubmit(*command, answer.stalled ? kStatusStall : 0, answer.data,
                       static_cast<std::uint32_t>(command->data.size())));
        return true;
    }
    if (command->endpoint != kBulkEndpoint) {
        Send(RetSubmit(*command, kStatusStall, {}));
        return true;
    }
    if (command->direction == kDirIn) {
        reads_.push_back(std::move(*command));
        return true;
    }
    BulkOut(*command);
    return true;
}

// The bridge sends each byte at its UART's settings. The tracker's bootloader takes 8 data bits
// with even parity: a byte framed otherwise fails its parity check and is dropped; one at
// another rate than the bootloader locked onto arrives garbled.
void UsbipAdapter::BulkOut(const Command& command) {
    const Clock::time_point now = Clock::now();
    const std::uint32_t baud = device_.Baud();
    const bool framed = device_.EvenParity8N1();
    for (std::uint8_t byte : command.data) {
        if (!device_.UartEnabled() || socket_ < 0) break;
        if (lineInUse_ == 0) {
            lineInUse_ = device_.LineControl();
            baudInUse_ = baud;
        }
        if (!framed) {
            timing_.ToDevice(now, baud);  // it still takes its time on the line
            continue;
        }
        const std::vector<TimedByte> answer = CrossLine(model_, timing_, rate_, byte, now, baud);
        if (detachAt_ != 0 && model_.Exchanges().size() >= detachAt_) {
            detachAt_ = 0;
            Detach();
            return;
        }
        outgoing_.insert(outgoing_.end(), answer.begin(), answer.end());
    }
    Send(RetSubmit(command, 0, {}, static_cast<std::uint32_t>(command.data.size())));
}

void UsbipAdapter::SendDue() {
    const Clock::time_point now = Clock::now();
    while (socket_ >= 0 && !reads_.empty() && !outgoing_.empty() && outgoing_.front().due <= now) {
        const Command read = std::move(reads_.front());
        reads_.pop_front();
        std::vector<std::uint8_t> bytes;
        // Escaping can add a byte per byte: stop while a whole pair still fits.
        while (!outgoing_.empty() && outgoing_.front().due <= now &&
               bytes.size() + 2 <= read.bufferLength) {
            const std::uint8_t one = outgoing_.front().byte;
            const std::vector<std::uint8_t> framed = device_.Frame({&one, 1});
            bytes.insert(bytes.end(), framed.begin(), framed.end());
            outgoing_.pop_front();
        }
        Send(RetSubmit(read, 0, bytes));
    }
}

std::vector<std::uint32_t> UsbipAdapter::BlocksWrittenPerPlugIn() const {
    std::vector<std::uint32_t> counts;
    for (std::size_t k = 0; k < blocksAtPlugIn_.size(); ++k) {
        const std::uint32_t end =
            k + 1 < blocksAtPlugIn_.size() ? blocksAtPlugIn_[k + 1] : model_.BlocksWritten();
        counts.push_back(end - blocksAtPlugIn_[k]);
    }
    return counts;
}

UsbipAdapter::Clock::time_point UsbipAdapter::NextDue() const {
    if (socket_ < 0 || reads_.empty() || outgoing_.empty()) return Clock::time_point::max();
    return outgoing_.front().due;
}

void UsbipAdapter::Send(const std::vector<std::uint8_t>& bytes) {
    std::size_t at = 0;
    while (socket_ >= 0 && at < bytes.size()) {
        const ssize_t put = write(socket_, bytes.data() + at, bytes.size() - at);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            Detach();
            return;
        }
        at += static_cast<std::size_t>(put);
    }
}

}  // namespace ostrel::sim::usbip
