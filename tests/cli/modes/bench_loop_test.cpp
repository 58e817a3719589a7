// ostrel-flash --repeat on a service bench: the simulated bridge plugged in and pulled out
// twice, with a tracker to update each time, then Ctrl-C. Runs under umockdev's preload; the
// program inherits the testbed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "core/firmware_image.h"
#include "sim/bridge/simulated_bridge.h"
#include "tests/cli/child_process.h"

namespace ostrel {
namespace {

// Lines of the program's output up to the first that begins with `start`, which it returns.
std::string AwaitLine(test::ChildProcess& program, const std::string& start) {
    for (;;) {
        const std::string line = program.StdoutLine();
        if (line.empty() || line.starts_with(start)) return line;
    }
}

// Each test's program works in a folder of its own, removed with whatever the program left in
// it (the journal a loop keeps by default).
class FlashBenchLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ostrel-bench-loop-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string dir;
};

TEST_F(FlashBenchLoop, UpdatesEachTrackerPluggedInUntilCtrlCThenSumsUp) {
    sim::SimulatedBridge bridge(sim::Pacing::Fast);
    ASSERT_TRUE(bridge.Ok()) << bridge.Error();
    // The bridge sees the line settings the program asks for, as ostrel-bridgesim arranges.
    const char* preload = getenv("LD_PRELOAD");
    setenv("LD_PRELOAD",
           (std::string(preload ? preload : "") + ":" + OSTREL_TERMIOS_PRELOAD).c_str(), 1);
    test::ChildProcess flash(OSTREL_FLASH, {"--repeat"}, "", "", dir);
    ASSERT_TRUE(flash.Started());

    for (int tracker = 1; tracker <= 2; ++tracker) {
        // Once it says so, the program watches for the plug-in.
        ASSERT_NE(AwaitLine(flash, "Waiting for the adapter"), "") << "tracker " << tracker;
        bridge.WithModel([](sim::BootloaderModel& m) {
            for (std::uint32_t a = kFlashStart; a <= 0xFFFF; ++a) {
                m.Memory()[a] = sim::BootloaderModel::OldFirmwareByte(a);
            }
        });
        ASSERT_TRUE(bridge.Plug()) << bridge.Error();
        EXPECT_TRUE(AwaitLine(flash, "result=").starts_with("result=ok port=/dev/ttyUSB0 "));
        bridge.Unplug();
        bridge.WithModel([](sim::BootloaderModel& m) {
            EXPECT_TRUE(std::equal(std::begin(FlashBlock), std::end(FlashBlock),
                                   m.Memory().begin() + kFlashStart));
        });
    }
    ASSERT_NE(AwaitLine(flash, "Waiting for the adapter"), "");
    flash.Signal(SIGINT);
    EXPECT_EQ(flash.StdoutRest(), "summary updated=2 failed=0\n");
    EXPECT_EQ(flash.Wait(), 0);
    // The loop's journal, by default in its working folder: a line for each tracker.
    const std::string journal = test::FileText(dir + "/ostrel-journal.csv");
    EXPECT_TRUE(journal.starts_with("time_utc,")) << journal;
    EXPECT_EQ(std::count(journal.begin(), journal.end(), '\n'), 1 + 2) << journal;
}

}  // namespace
}  // namespace ostrel
