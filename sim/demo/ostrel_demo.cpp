// A console walk-through of one update against the simulated tracker, for a first look at the
// updater before the window exists or without any hardware.
#include <cstdio>
#include <memory>

#include "core/update_sequence.h"
#include "sim/bootloader_model.h"
#include "sim/sim_link.h"

namespace {

class ConsoleView : public ostrel::UpdateView {
public:
    void SetIndicatorVisible(ostrel::Indicator indicator, bool visible) override {
        using ostrel::Indicator;
        if (!visible) return;
        switch (indicator) {
            case Indicator::lbWriteOK: std::printf("\nЗАГРУЗКА: ОК\n"); break;
            case Indicator::lbVerifyOK: std::printf("\nПРОВЕРКА: ОК\n"); break;
            case Indicator::lbWriteErr:
            case Indicator::lbVerifyErr: std::printf("\nОШИБКА!!!\n"); break;
            case Indicator::ListWriteOK: std::printf("Обновление успешно завершено! \n"); break;
            default: break;
        }
    }
    void SetProgressPosition(ostrel::ProgressBar bar, std::uint32_t position) override {
        std::printf("\r%s %3u%%", bar == ostrel::ProgressBar::BarWrite ? "ЗАГРУЗКА:" : "ПРОВЕРКА:",
                    position);
        std::fflush(stdout);
    }
    void SetButtonEnabled(ostrel::WizardButton, bool) override {}
    void ProcessPendingEvents() override {}
    bool IsKeepUserSelected() override { return false; }
};

}  // namespace

int main() {
    auto image = std::make_unique<ostrel::FirmwareImage>();
    ostrel::BuildFirmwareImage(*image);
    ostrel::sim::BootloaderModel tracker;
    ostrel::sim::SimLink link(tracker);
    ostrel::UpdaterState state;
    ostrel::BootloaderProtocol protocol(link, *image, state);
    ConsoleView view;

    std::printf("Simulated GPS Ostrel tracker on an in-memory port.\n");
    state.PortOpen = link.OpenPort("SIM1");
    state.DeviceReady = state.PortOpen && protocol.SyncBootloader() && protocol.QueryBootloader();
    std::printf("Bootloader version 0x%02X, %u commands\n", state.BootloaderVersion,
                state.SupportedCommandCount);
    ostrel::RunUpdate(state, protocol, *image, view);
    const bool same = std::equal(image->begin() + ostrel::kFlashStart, image->end(),
                                 tracker.Memory().begin() + ostrel::kFlashStart);
    std::printf("Program memory %s the release; %u polls of 1 ms were counted.\n",
                same ? "equals" : "DIFFERS FROM", static_cast<unsigned>(link.Now()));
    return state.UpdatePhase == 5 && same ? 0 : 1;
}
