#include "sim/tty/line_timing.h"

#include <gtest/gtest.h>

#include "sim/tty/rate_lock.h"

namespace ostrel::sim {
namespace {

using Clock = LineTiming::Clock;
using std::chrono::milliseconds;
constexpr auto T = LineTiming::kByteTime;
const Clock::time_point t0 = Clock::time_point{} + std::chrono::seconds(100);

Reply Answer(std::size_t bytes, std::uint32_t delay = 0, bool stored = false) {
    Reply reply;
    reply.bytes.assign(bytes, kAck);
    reply.delayPolls = delay;
    reply.afterMemoryWrite = stored;
    return reply;
}

TEST(LineTiming, HostBytesCrossAtLinePaceOneAfterAnother) {
    LineTiming line(true);
    EXPECT_EQ(line.ToDevice(t0), t0 + T);
    EXPECT_EQ(line.ToDevice(t0), t0 + 2 * T);  // the same write: queued behind the first byte
    EXPECT_EQ(line.ToDevice(t0 + 1 * T), t0 + 3 * T);
    EXPECT_EQ(line.ToDevice(t0 + milliseconds(50)), t0 + milliseconds(50) + T);  // line idle
    // 11 bit times at 115200 baud.
    EXPECT_EQ(line.ToDevice(t0 + milliseconds(99), 115200),
              t0 + milliseconds(99) + std::chrono::nanoseconds(95'486));
}

TEST(LineTiming, AnswersLeaveAfterTheirDelayAndStoreTimeWithoutOverlapping) {
    LineTiming line(true);
    const auto stored = line.ToHost(t0, Answer(1, 0, true));
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0], t0 + milliseconds(6) + T);

    const auto read = line.ToHost(t0, Answer(3));  // caused meanwhile: waits for the line
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0], stored[0] + T);
    EXPECT_EQ(read[2], stored[0] + 3 * T);

    const auto late = line.ToHost(t0 + milliseconds(100), Answer(1, 150));
    EXPECT_EQ(late[0], t0 + milliseconds(250) + T);
}

TEST(LineTiming, FastLineKeepsFaultDelaysAndOrderButNoLineTime) {
    LineTiming line(false);
    EXPECT_EQ(line.ToDevice(t0), t0);
    EXPECT_EQ(line.ToHost(t0, Answer(2, 0, true)), (std::vector{t0, t0}));
    const auto delayed = line.ToHost(t0, Answer(1, 120));
    EXPECT_EQ(delayed[0], t0 + milliseconds(120));
    // A later answer never overtakes a delayed one.
    EXPECT_EQ(line.ToHost(t0 + milliseconds(1), Answer(1))[0], t0 + milliseconds(120));
}

TEST(LineTiming, AnswersDroppedAtACloseNoLongerHoldTheLine) {
    LineTiming line(true);
    line.ToHost(t0, Answer(129));
    line.DropAnswersInFlight();
    EXPECT_EQ(line.ToHost(t0 + milliseconds(1), Answer(1))[0], t0 + milliseconds(1) + T);
}

TEST(RateLock, KeepsTheFirstSyncBytesRateAndGarblesOthersBothWays) {
    RateLock lock;
    EXPECT_EQ(lock.ToDevice(0x00, 57600), 0x00);  // heard, but only a sync byte is measured
    EXPECT_EQ(lock.Locked(), 0u);
    EXPECT_EQ(lock.ToDevice(0x7F, 115200), 0x7F);
    EXPECT_EQ(lock.Locked(), 115200u);
    EXPECT_EQ(lock.ToDevice(0x31, 115200), 0x31);
    EXPECT_EQ(lock.ToHost(0x79, 115200), 0x79);
    // A slower receiver samples idle line, a faster one the long start bit.
    EXPECT_EQ(lock.ToDevice(0x7F, 9600), 0x00);
    EXPECT_EQ(lock.ToDevice(0x00, 230400), 0xFF);
    EXPECT_EQ(lock.ToHost(0x79, 9600), 0xFF);
    EXPECT_EQ(lock.ToHost(0x79, 230400), 0x00);
    EXPECT_EQ(lock.Locked(), 115200u);
}

}  // namespace
}  // namespace ostrel::sim
