#pragma once
// One complete update: write program memory, read it back and compare, write data memory.
#include "core/bootloader_protocol.h"
#include "core/firmware_image.h"
#include "core/update_view.h"
#include "core/updater_state.h"

namespace ostrel {

inline constexpr std::uint32_t kFlashEnd = 0xFFFF;
inline constexpr std::uint32_t kDataEnd = 0x13FF;

// Runs only when state.DeviceReady; the outcome stays in state.UpdatePhase (5 success, 0 fault)
// and in the indicators it shows through `view`.
void RunUpdate(UpdaterState& state, BootloaderProtocol& protocol, const FirmwareImage& image,
               UpdateView& view);

}  // namespace ostrel
