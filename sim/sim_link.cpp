#include "sim/sim_link.h"

#include <algorithm>

namespace ostrel::sim {

bool SimLink::OpenPort(const std::string& name) {
    if (open_ || !plugged_ || name != portName_) return false;
    open_ = true;
    ++opens_;
    incoming_.clear();
    return true;
}

void SimLink::ClosePort() {
    open_ = false;
    incoming_.clear();
}

bool SimLink::AwaitOneTry(std::uint16_t count) {
    // Every try of a wait, also one that ends at once because the bytes are there.
    if (pollHook_) pollHook_();
    if (PendingInputCount() >= count) return true;
    ++now_;
    return PendingInputCount() >= count;
}

std::int32_t SimLink::PendingInputCount() {
    if (!Usable()) return 0;
    const auto ready = std::count_if(incoming_.begin(), incoming_.end(),
                                     [this](const Timed& t) { return t.readyAt <= now_; });
    return static_cast<std::int32_t>(ready);
}

void SimLink::FlushInput() {
    const std::int32_t pending = PendingInputCount();
    if (pending == 0) return;
    ++flushReads_;
    incoming_.erase(incoming_.begin(), incoming_.begin() + pending);  // ready bytes lead
}

bool SimLink::ReadExact(std::uint8_t* buffer, std::uint16_t count, std::uint32_t& bytesRead) {
    bytesRead = 0;
    if (!Usable()) return false;
    // As a serial read with time-outs: 200 ms + 1 ms a byte in all, 150 ms between two bytes.
    const std::uint64_t deadline = now_ + 200 + count;
    std::uint64_t lastByte = now_;
    while (bytesRead < count && !incoming_.empty()) {
        const Timed next = incoming_.front();
        const std::uint64_t at = std::max(next.readyAt, now_);
        if (at > deadline || (bytesRead > 0 && at - lastByte > 150)) break;
        now_ = at;
        lastByte = at;
        buffer[bytesRead++] = next.byte;
        incoming_.pop_front();
    }
    if (bytesRead < count) {
        now_ = bytesRead > 0 ? std::min(deadline, lastByte + 150) : deadline;
    }
    return bytesRead == count;
}

bool SimLink::WriteAll(const std::uint8_t* buffer, std::uint16_t count) {
    if (count == 0) return true;
    if (!Usable() || writesFail_) return false;
    writes_.emplace_back(buffer, buffer + count);
    std::uint64_t lineFree = incoming_.empty() ? now_ : incoming_.back().readyAt;
    for (const Reply& reply : model_.Receive(writes_.back())) {
        std::uint64_t at = std::max(lineFree, now_ + reply.delayPolls);
        for (std::uint8_t byte : reply.bytes) {
            at += pollsPerByte_;
            incoming_.push_back({at, byte});
        }
        lineFree = at;
    }
    return true;
}

}  // namespace ostrel::sim
