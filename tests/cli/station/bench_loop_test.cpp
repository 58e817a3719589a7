// ostrel-flash --repeat on a service bench: the simulated bridge plugged in and pulled out
// twice, with a tracker to update each time, then Ctrl-C. Runs under umockdev's preload; the
// program inherits the testbed.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sim/bridge/simulated_bridge.h"
#include "tests/support/child_process.h"
#include "tests/support/tracker.h"

namespace ostrel {
namespace {

// Each test's program works in a folder of its own, removed with whatever the program left in
// it (the journal a loop keeps by default). The bridge sees the line settings the program asks
// for, as ostrel-bridgesim arranges.
class FlashBenchLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bridge.Ok()) << bridge.Error();
        test::AddPreload(OSTREL_TERMIOS_PRELOAD);
    }
    bool HoldsRelease() {
        bool holds = false;
        bridge.WithModel([&](sim::BootloaderModel& m) { holds = test::HoldsRelease(m.Memory()); });
        return holds;
    }
    sim::SimulatedBridge bridge{sim::Pacing::Fast};
    test::ScratchFolder dir{"ostrel-bench-loop-test"};
};

TEST_F(FlashBenchLoop, UpdatesEachTrackerPluggedInUntilCtrlCThenSumsUp) {
    test::ChildProcess flash(OSTREL_FLASH, {"--repeat"}, "", "", dir.Dir());
    ASSERT_TRUE(flash.Started());

    for (int tracker = 1; tracker <= 2; ++tracker) {
        // Once it says so, the program watches for the plug-in.
        ASSERT_NE(flash.AwaitLine("Waiting for the adapter"), "") << "tracker " << tracker;
        bridge.WithModel([](sim::BootloaderModel& m) { test::LoadOldFirmware(m); });
        ASSERT_TRUE(bridge.Plug()) << bridge.Error();
        EXPECT_TRUE(flash.AwaitLine("result=").starts_with("result=ok port=/dev/ttyUSB0 "));
        bridge.Unplug();
        EXPECT_TRUE(HoldsRelease()) << "tracker " << tracker;
    }
    ASSERT_NE(flash.AwaitLine("Waiting for the adapter"), "");
    flash.Signal(SIGINT);
    EXPECT_EQ(flash.StdoutRest(), "summary updated=2 failed=0\n");
    EXPECT_EQ(flash.Wait(), 0);
    // The loop's journal, by default in its working folder: a line for each tracker.
    const std::string journal = test::FileText(dir.Path("ostrel-journal.csv"));
    EXPECT_TRUE(journal.starts_with("time_utc,")) << journal;
    EXPECT_EQ(std::count(journal.begin(), journal.end(), '\n'), 1 + 2) << journal;
}

// An adapter already plugged in at the start is the first tracker; Ctrl-C while the loop then
// waits for the next says that no tracker was in hand.
TEST_F(FlashBenchLoop, TakesAnAdapterPluggedInAtTheStartAndStopsWithNoTrackerInHand) {
    ASSERT_TRUE(bridge.Plug()) << bridge.Error();
    test::ChildProcess flash(OSTREL_FLASH, {"--repeat"}, "", dir.Path("err.txt"), dir.Dir());
    ASSERT_TRUE(flash.Started());
    const std::string first = flash.StdoutLine();
    ASSERT_TRUE(first.starts_with("Connected on /dev/ttyUSB0")) << first;
    EXPECT_TRUE(flash.AwaitLine("result=").starts_with("result=ok port=/dev/ttyUSB0 "));
    ASSERT_NE(flash.AwaitLine("Pull the adapter out"), "");
    bridge.Unplug();
    ASSERT_NE(flash.AwaitLine("Waiting for the adapter"), "");
    flash.Signal(SIGINT);
    EXPECT_EQ(flash.StdoutRest(), "summary updated=1 failed=0\n");
    EXPECT_EQ(flash.Wait(), 0);
    const std::string text = test::FileText(dir.Path("err.txt"));
    EXPECT_NE(text.find("no tracker was in hand"), std::string::npos) << text;
}

}  // namespace
}  // namespace ostrel
