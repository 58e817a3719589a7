// A whole update against a device that answers anything: it must end, show exactly one outcome,
// and claim success only when every block was acknowledged and read back equal.
#include <memory>

#include "core/update_sequence.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/scripted_link.h"

namespace {

// Checks that the stages come in order, each begun before its progress and ended once, and
// that progress counts up by one to at most the stage's total.
class OrderCheckingEvents : public ostrel::UpdateEvents {
  public:
    void StageBegun(ostrel::UpdateStage stage, std::uint32_t total) override {
        ostrel::fuzz::Check(!open && (begun == 0 || stage > last));
        open = true;
        last = stage;
        this->total = total;
        done = 0;
        ++begun;
    }
    void Progress(ostrel::UpdateStage stage, std::uint32_t d, std::uint32_t t) override {
        ostrel::fuzz::Check(open && stage == last && t == total && d == done + 1 && d <= t);
        done = d;
    }
    void StageEnded(ostrel::UpdateStage stage, bool ok) override {
        ostrel::fuzz::Check(open && stage == last && (ok == (done == total)));
        open = false;
        lastOk = ok;
    }
    bool open = false;
    int begun = 0;
    ostrel::UpdateStage last = ostrel::UpdateStage::Write;
    std::uint32_t total = 0;
    std::uint32_t done = 0;
    bool lastOk = false;
};
}  // namespace

using ostrel::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ostrel::FirmwareImage& image = ostrel::fuzz::ReleaseImage();
    if (size == 0) return 0;
    ostrel::fuzz::ScriptedLink link(data + 1, size - 1);
    ostrel::UpdaterState state;
    state.DeviceReady = true;
    ostrel::BootloaderProtocol protocol(link, image, state);
    OrderCheckingEvents events;
    const ostrel::UpdateOutcome outcome =
        ostrel::RunUpdate(state, protocol, image, data[0] & 1, events);
    const bool succeeded = state.UpdatePhase == ostrel::Phase::Succeeded;
    Check(succeeded || state.UpdatePhase == ostrel::Phase::Idle);
    Check(outcome.Succeeded() == succeeded);
    // Success only after all three stages ended well; a failure names what failed.
    Check(!succeeded || (events.begun == 3 && events.lastOk && !events.open));
    Check(succeeded || (!events.lastOk && outcome.stage == events.last));
    Check(succeeded || outcome.reason == ostrel::UpdateFailure::ReadBackDiffers ||
          outcome.step.Failed());
    return 0;
}
