#include "core/update_sequence.h"

namespace ostrel {
namespace {

// Truncating 32-bit arithmetic from the already advanced address; the divisor is 29,695, so
// the bar reaches 100 only after the last of the 232 blocks.
std::uint32_t ProgressValue(const UpdaterState& state) {
    return ((state.CurrentAddress - kFlashStart + 1) * 100) / (state.EndAddress - kFlashStart);
}

void ShowWriteFailure(UpdaterState& state, UpdateView& view) {
    state.UpdatePhase = 0;
    view.SetIndicatorVisible(Indicator::lbWriteOn, false);
    view.SetIndicatorVisible(Indicator::lbWriteErr, true);
    view.SetIndicatorVisible(Indicator::txtWriteFail, true);
    view.SetIndicatorVisible(Indicator::ListWriteFail, true);
}

void ShowVerifyFailure(UpdaterState& state, UpdateView& view) {
    state.UpdatePhase = 0;
    view.SetIndicatorVisible(Indicator::lbVerifyOn, false);
    view.SetIndicatorVisible(Indicator::lbVerifyErr, true);
    view.SetIndicatorVisible(Indicator::txtWriteFail, true);
    view.SetIndicatorVisible(Indicator::ListWriteFail, true);
}

bool BlockMatchesImage(const UpdaterState& state, const BootloaderProtocol& protocol,
                       const FirmwareImage& image) {
    const ProtocolBuffer& received = protocol.ReceiveBuffer();
    for (std::uint32_t i = 0; i < state.BlockSize; ++i) {
        const std::uint32_t address = state.CurrentAddress + i;
        if (address <= state.EndAddress && received[1 + i] != image[address]) return false;
    }
    return true;
}

}  // namespace

void RunUpdate(UpdaterState& state, BootloaderProtocol& protocol, const FirmwareImage& image,
               UpdateView& view) {
    if (!state.DeviceReady) return;

    view.SetButtonEnabled(WizardButton::btnBACK, false);
    view.SetButtonEnabled(WizardButton::btnNEXT, false);
    view.SetIndicatorVisible(Indicator::lbWrite, true);
    view.SetProgressPosition(ProgressBar::BarWrite, 0);
    view.SetIndicatorVisible(Indicator::BarWrite, true);
    view.SetIndicatorVisible(Indicator::lbWriteOn, true);
    state.UpdatePhase = 2;
    state.CurrentAddress = kFlashStart;
    state.EndAddress = kFlashEnd;

    // Stage 1: program memory.
    while (state.CurrentAddress <= state.EndAddress) {
        const bool ok = protocol.WriteBlock(state.CurrentAddress);
        state.CurrentAddress += state.BlockSize;
        if (!ok) {
            ShowWriteFailure(state, view);
            break;
        }
        view.SetProgressPosition(ProgressBar::BarWrite, ProgressValue(state));
        view.ProcessPendingEvents();
    }

    // Stage 2: read back and compare.
    if (state.CurrentAddress > state.EndAddress && state.UpdatePhase == 2) {
        state.UpdatePhase = 3;
        state.CurrentAddress = kFlashStart;
        view.SetIndicatorVisible(Indicator::lbWriteOn, false);
        view.SetIndicatorVisible(Indicator::lbWriteOK, true);
        view.SetIndicatorVisible(Indicator::lbVerify, true);
        view.SetProgressPosition(ProgressBar::BarVerify, 0);
        view.SetIndicatorVisible(Indicator::BarVerify, true);
        view.SetIndicatorVisible(Indicator::lbVerifyOn, true);
        while (state.CurrentAddress <= state.EndAddress) {
            bool ok = protocol.ReadBlock(state.CurrentAddress);
            if (ok) ok = BlockMatchesImage(state, protocol, image);
            state.CurrentAddress += state.BlockSize;
            if (!ok) {
                ShowVerifyFailure(state, view);
                break;
            }
            view.SetProgressPosition(ProgressBar::BarVerify, ProgressValue(state));
            view.ProcessPendingEvents();
        }
    }

    // Stage 3: data memory, from 0x1100 when the owner's settings are kept. No pumping here.
    if (state.CurrentAddress > state.EndAddress && state.UpdatePhase == 3) {
        view.SetIndicatorVisible(Indicator::lbVerifyOn, false);
        view.SetIndicatorVisible(Indicator::lbVerifyOK, true);
        state.CurrentAddress = view.IsKeepUserSelected() ? kUserSettingsEnd : kDataStart;
        state.UpdatePhase = 4;
    }
    if (state.UpdatePhase == 4) {
        bool ok = true;
        while (state.CurrentAddress <= kDataEnd) {
            ok = protocol.WriteBlock(state.CurrentAddress);
            state.CurrentAddress += state.BlockSize;
            if (!ok) {
                ShowWriteFailure(state, view);
                break;
            }
        }
        if (ok) state.UpdatePhase = 5;
    }

    if (state.UpdatePhase == 5) {
        view.SetIndicatorVisible(Indicator::txtWriteOK, true);
        view.SetIndicatorVisible(Indicator::ListWriteOK, true);
    }
    view.SetButtonEnabled(WizardButton::btnBACK, true);
    view.SetButtonEnabled(WizardButton::btnNEXT, true);
}

}  // namespace ostrel
