#pragma once
// What the update sequence needs of the window: indicators, bars, buttons, event pumping.
#include <cstdint>

namespace ostrel {

// The fourteen page-4 indicators.
enum class Indicator : std::uint8_t {
    txtWriteOK,
    txtWriteFail,
    lbWrite,
    lbWriteOn,
    lbWriteOK,
    lbWriteErr,
    lbVerify,
    lbVerifyOK,
    lbVerifyOn,
    lbVerifyErr,
    BarWrite,
    BarVerify,
    ListWriteOK,
    ListWriteFail,
};
inline constexpr int kIndicatorCount = 14;

enum class ProgressBar : std::uint8_t { BarWrite, BarVerify };
enum class WizardButton : std::uint8_t { btnBACK, btnNEXT };

class UpdateView {
  public:
    virtual ~UpdateView() = default;
    virtual void SetIndicatorVisible(Indicator indicator, bool visible) = 0;
    virtual void SetProgressPosition(ProgressBar bar, std::uint32_t position) = 0;
    virtual void SetButtonEnabled(WizardButton button, bool enabled) = 0;
    // Dispatches what waits (input, painting, device notices) without idle processing.
    virtual void ProcessPendingEvents() = 0;
    virtual bool IsKeepUserSelected() = 0;
};

}  // namespace ostrel
