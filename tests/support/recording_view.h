#pragma once
// An UpdateView that records what the update sequence did to the window, and keeps the state a
// real window would end up in (which indicators show, where the bars stand).
#include <array>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/update_view.h"

namespace ostrel::test {

inline const char* IndicatorName(Indicator i) {
    static constexpr const char* kNames[] = {
        "txtWriteOK", "txtWriteFail", "lbWrite",     "lbWriteOn",    "lbWriteOK",
        "lbWriteErr", "lbVerify",     "lbVerifyOK",  "lbVerifyOn",   "lbVerifyErr",
        "BarWrite",   "BarVerify",    "ListWriteOK", "ListWriteFail"};
    return kNames[static_cast<int>(i)];
}

class RecordingView : public UpdateView {
  public:
    void SetIndicatorVisible(Indicator i, bool visible) override {
        calls.push_back(std::string(visible ? "show " : "hide ") + IndicatorName(i));
        if (visible)
            shown.insert(IndicatorName(i));
        else
            shown.erase(IndicatorName(i));
    }
    void SetProgressPosition(ProgressBar bar, std::uint32_t position) override {
        const bool write = bar == ProgressBar::BarWrite;
        calls.push_back(std::string(write ? "BarWrite=" : "BarVerify=") + std::to_string(position));
        (write ? writePositions : verifyPositions).push_back(position);
    }
    void SetButtonEnabled(WizardButton button, bool enabled) override {
        calls.push_back(std::string(enabled ? "enable " : "disable ") +
                        (button == WizardButton::btnBACK ? "btnBACK" : "btnNEXT"));
    }
    void ProcessPendingEvents() override {
        ++pumps;
        if (onPump) onPump();
    }
    bool IsKeepUserSelected() override {
        ++keepUserAsked;
        return keepUser;
    }

    std::uint32_t WriteBar() const { return writePositions.empty() ? 0 : writePositions.back(); }
    std::uint32_t VerifyBar() const { return verifyPositions.empty() ? 0 : verifyPositions.back(); }

    bool keepUser = false;
    std::function<void()> onPump;
    std::vector<std::string> calls;
    std::set<std::string> shown;
    std::vector<std::uint32_t> writePositions;
    std::vector<std::uint32_t> verifyPositions;
    int pumps = 0;
    int keepUserAsked = 0;
};

}  // namespace ostrel::test
