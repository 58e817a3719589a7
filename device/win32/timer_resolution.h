#pragma once
// Raises the system timer to 1 ms for the object's life. Without it Sleep(1) lasts a whole
// 15.6 ms tick, and every wait of the link, counted in 1 ms polls, stretches many times over.

namespace ostrel::win32 {

class TimerResolution {
  public:
    TimerResolution();
    ~TimerResolution();
    TimerResolution(const TimerResolution&) = delete;
    TimerResolution& operator=(const TimerResolution&) = delete;

  private:
    bool raised_ = false;
};

}  // namespace ostrel::win32
