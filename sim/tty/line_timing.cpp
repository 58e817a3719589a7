#include "sim/tty/line_timing.h"

#include <algorithm>

namespace ostrel::sim {

LineTiming::Clock::time_point LineTiming::ToDevice(Clock::time_point sentAt, std::uint32_t baud) {
    if (!paced_) return sentAt;
    deviceBound_ = std::max(sentAt, deviceBound_) + ByteTime(baud);
    return deviceBound_;
}

std::vector<LineTiming::Clock::time_point> LineTiming::ToHost(Clock::time_point causeAt,
                                                              const Reply& reply,
                                                              std::uint32_t baud) {
    Clock::time_point at = causeAt + std::chrono::milliseconds(reply.delayPolls);
    if (paced_ && reply.afterMemoryWrite) at += kBlockStoreTime;
    at = std::max(at, hostBound_);
    std::vector<Clock::time_point> times;
    times.reserve(reply.bytes.size());
    for (std::size_t i = 0; i < reply.bytes.size(); ++i) {
        if (paced_) at += ByteTime(baud);
        times.push_back(at);
    }
    hostBound_ = at;
    return times;
}

}  // namespace ostrel::sim
