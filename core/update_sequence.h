#pragma once
// One complete update: write program memory, read it back and compare, write data memory.
#include "core/bootloader_protocol.h"
#include "core/firmware_image.h"
#include "core/update_events.h"
#include "core/updater_state.h"

namespace ostrel {

// Runs only when state.DeviceReady (otherwise ends at once as NotReady, sending nothing). Each
// stage stops at its first failure and the update with it. `keepUserSettings` leaves the
// owner's settings area (0x1000-0x10FF) as the tracker holds it. state.UpdatePhase ends as
// Succeeded or Idle.
UpdateOutcome RunUpdate(UpdaterState& state, BootloaderProtocol& protocol,
                        const FirmwareImage& image, bool keepUserSettings, UpdateEvents& events);

}  // namespace ostrel
