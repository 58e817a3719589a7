// A whole update against a device that answers anything: it must end, show exactly one outcome,
// and claim success only when every block was acknowledged and read back equal.
#include <memory>

#include "core/update_sequence.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/scripted_link.h"

namespace {

class OutcomeView : public ostrel::UpdateView {
  public:
    void SetIndicatorVisible(ostrel::Indicator i, bool visible) override {
        if (i == ostrel::Indicator::txtWriteOK && visible) ++successShown;
        if (i == ostrel::Indicator::txtWriteFail && visible) ++failureShown;
    }
    void SetProgressPosition(ostrel::ProgressBar, std::uint32_t position) override {
        ostrel::fuzz::Check(position <= 100);
    }
    void SetButtonEnabled(ostrel::WizardButton, bool) override {}
    void ProcessPendingEvents() override {}
    bool IsKeepUserSelected() override { return keep; }
    bool keep = false;
    int successShown = 0;
    int failureShown = 0;
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
    OutcomeView view;
    view.keep = data[0] & 1;
    ostrel::RunUpdate(state, protocol, image, view);
    Check(view.successShown + view.failureShown == 1);
    Check((state.UpdatePhase == 5) == (view.successShown == 1));
    Check(state.UpdatePhase == 5 || state.UpdatePhase == 0);
    return 0;
}
