#include "device/win32/timer_resolution.h"

#include <windows.h>
// after windows.h, which it needs
#include <timeapi.h>

namespace ostrel::win32 {

TimerResolution::TimerResolution() : raised_(timeBeginPeriod(1) == TIMERR_NOERROR) {}

TimerResolution::~TimerResolution() {
    if (raised_) timeEndPeriod(1);
}

}  // namespace ostrel::win32
