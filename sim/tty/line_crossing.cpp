#include "sim/tty/line_crossing.h"

namespace ostrel::sim {

std::vector<TimedByte> CrossLine(BootloaderModel& model, LineTiming& timing, RateLock& rate,
                                 std::uint8_t byte, LineTiming::Clock::time_point sentAt,
                                 std::uint32_t hostBaud) {
    const LineTiming::Clock::time_point arrived = timing.ToDevice(sentAt, hostBaud);
    const std::uint8_t heard = rate.ToDevice(byte, hostBaud);
    std::vector<TimedByte> out;
    const std::uint32_t deviceBaud = rate.Locked() != 0 ? rate.Locked() : hostBaud;
    for (const Reply& reply : model.Receive({&heard, 1})) {
        const auto times = timing.ToHost(arrived, reply, deviceBaud);
        for (std::size_t i = 0; i < times.size(); ++i) {
            out.push_back({times[i], rate.ToHost(reply.bytes[i], hostBaud), i + 1 == times.size()});
        }
    }
    return out;
}

}  // namespace ostrel::sim
