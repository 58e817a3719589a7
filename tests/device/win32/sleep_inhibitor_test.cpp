// Keeping Windows awake while a tracker is written: the thread's execution state, as the next
// call to SetThreadExecutionState reports it back.
#include "device/sleep_inhibitor.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

namespace ostrel {
namespace {

// The standing request, read by setting the same one again.
EXECUTION_STATE Standing() {
    const EXECUTION_STATE state = SetThreadExecutionState(ES_CONTINUOUS);
    SetThreadExecutionState(state | ES_CONTINUOUS);
    return state;
}

TEST(Win32SleepInhibitor, KeepsTheSystemAwakeWhileHeldAndNoLonger) {
    SetThreadExecutionState(ES_CONTINUOUS);
    {
        const auto held = InhibitSleep();
        EXPECT_EQ(Standing(), ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
        // A bay's session holds its own on its own thread, and lets it go there.
        std::thread([] { const auto bay = InhibitSleep(); }).join();
    }
    EXPECT_EQ(Standing(), ES_CONTINUOUS);
}

}  // namespace
}  // namespace ostrel
