#pragma once
// Keeps the computer from going to sleep on its own while a tracker is being written: the
// line's traffic and plugging adapters in are no user input, and a PC that sleeps in the middle
// of a write leaves a tracker that does not start until it is updated again.
#include <memory>

namespace ostrel {

// Held from its making to its end, on the thread that writes (Windows keeps the request per
// thread; every bay of a bench holds its own). Where the system offers no such request (Linux
// without systemd-logind), holding one does nothing.
class SleepInhibitor {
  public:
    virtual ~SleepInhibitor() = default;
};

std::unique_ptr<SleepInhibitor> InhibitSleep();

}  // namespace ostrel
