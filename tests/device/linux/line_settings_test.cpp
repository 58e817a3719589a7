#include "device/linux/line_settings.h"

#include <gtest/gtest.h>

#include "device/line_rate.h"

namespace ostrel {
namespace {

// Whatever the driver reports, the port asks for 9600 8E1, raw, with no flow control.
termios Cooked() {
    termios t{};
    t.c_iflag = ICRNL | IXON | IXOFF | IXANY | INPCK | ISTRIP | BRKINT;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS7 | PARODD | CSTOPB | CRTSCTS | HUPCL;
    t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 5;
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    return t;
}

termios AllClear() {
    return termios{};
}

class LineSettingsTest : public testing::TestWithParam<termios (*)()> {};

TEST_P(LineSettingsTest, AsksFor9600EvenParityRawWithoutFlowControl) {
    termios t = GetParam()();
    SetBootloaderLine(t);

    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & PARODD);
    EXPECT_FALSE(t.c_cflag & CMSPAR);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | IXANY));
    // Raw: every byte passes unchanged, nothing is echoed or turned into a signal.
    EXPECT_FALSE(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | INPCK | BRKINT | PARMRK));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    // A non-blocking read then gives EAGAIN when nothing waits, and 0 only at a hang-up.
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

INSTANTIATE_TEST_SUITE_P(FromDriverState, LineSettingsTest, testing::Values(&Cooked, &AllClear));

TEST(LineSettings, TakesEachRateOfTheBridgeAndRefusesOthers) {
    for (std::uint32_t baud : kLineRates) {
        termios t = Cooked();
        ASSERT_TRUE(SetBootloaderLine(t, baud)) << baud;
        EXPECT_NE(cfgetospeed(&t), static_cast<speed_t>(B0));
        EXPECT_EQ(cfgetospeed(&t), SpeedCode(baud));
        EXPECT_EQ(cfgetispeed(&t), SpeedCode(baud));
    }
    EXPECT_EQ(SpeedCode(115200), static_cast<speed_t>(B115200));
    termios t = Cooked();
    EXPECT_FALSE(SetBootloaderLine(t, 14400));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));  // unchanged
}

TEST(LineSettings, KeepsTheModemLineHandlingTheDriverReported) {
    termios t = Cooked();
    SetBootloaderLine(t);
    EXPECT_TRUE(t.c_cflag & HUPCL);
}

}  // namespace
}  // namespace ostrel
