#include "device/sleep_inhibitor.h"

#include <windows.h>

namespace ostrel {
namespace {

// The system stays in the working state while this thread's request stands; the display may
// still turn off, which is no harm to the line.
class ExecutionStateRequest final : public SleepInhibitor {
  public:
    ExecutionStateRequest() { SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED); }
    ~ExecutionStateRequest() override { SetThreadExecutionState(ES_CONTINUOUS); }
    ExecutionStateRequest(const ExecutionStateRequest&) = delete;
    ExecutionStateRequest& operator=(const ExecutionStateRequest&) = delete;
};

}  // namespace

std::unique_ptr<SleepInhibitor> InhibitSleep() {
    return std::make_unique<ExecutionStateRequest>();
}

}  // namespace ostrel
