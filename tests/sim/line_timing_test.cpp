#include "sim/tty/line_timing.h"

#include <gtest/gtest.h>

#include "sim/tty/rate_lock.h"
#include "sim/tty/usb_packets.h"

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

// A block read as the pty server answers it, host byte by host byte: each ACK is an answer of
// its own, the ACK and 128 data bytes of the block one answer.
TEST(UsbPackets, AnAnswerArrivesInFullPacketsAndItsRestWithItsLastByte) {
    BootloaderModel model;
    LineTiming line(true);
    RateLock rate;
    std::vector<TimedByte> crossed;
    std::vector<TimedByte> packed;
    const std::uint8_t frames[] = {0x7F, 0x11, 0xEE, 0x00, 0x00, 0x80, 0x00, 0x80, 0x7F, 0x80};
    for (const std::uint8_t byte : frames) {
        std::vector<TimedByte> answer = CrossLine(model, line, rate, byte, t0, 9600);
        crossed.insert(crossed.end(), answer.begin(), answer.end());
        GatherIntoPackets(answer);
        packed.insert(packed.end(), answer.begin(), answer.end());
    }
    ASSERT_EQ(packed.size(), 3u + 129u);
    // The lone ACKs are not held for the block behind them.
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(packed[i].due, crossed[i].due) << i;
    // 64, 64 and 1: each packet when its last byte has crossed, none earlier.
    for (std::size_t i = 3; i < 67; ++i) EXPECT_EQ(packed[i].due, crossed[66].due) << i;
    for (std::size_t i = 67; i < 131; ++i) EXPECT_EQ(packed[i].due, crossed[130].due) << i;
    EXPECT_EQ(packed[131].due, crossed[131].due);
    for (std::size_t i = 0; i < packed.size(); ++i) EXPECT_EQ(packed[i].byte, crossed[i].byte);
}

// Answers that one host byte causes back to back each end their own packet; one held back by a
// fault keeps its time; bytes with no end marked go when the last of them has crossed.
TEST(UsbPackets, EachAnswerEndsItsPacket) {
    std::vector<TimedByte> bytes{{t0, 1, true},
                                 {t0 + T, 2},
                                 {t0 + 2 * T, 3, true},
                                 {t0 + milliseconds(400), 4, true},
                                 {t0 + milliseconds(500), 5},
                                 {t0 + milliseconds(500) + T, 6}};
    GatherIntoPackets(bytes);
    const std::vector<Clock::time_point> expected{t0,
                                                  t0 + 2 * T,
                                                  t0 + 2 * T,
                                                  t0 + milliseconds(400),
                                                  t0 + milliseconds(500) + T,
                                                  t0 + milliseconds(500) + T};
    for (std::size_t i = 0; i < bytes.size(); ++i) EXPECT_EQ(bytes[i].due, expected[i]) << i;
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
