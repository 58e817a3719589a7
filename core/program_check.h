#pragma once
// Does the tracker's program memory hold the release? Read back block by block and compared,
// both as the update's second stage and on its own (nothing written).
#include "core/bootloader_protocol.h"
#include "core/firmware_image.h"
#include "core/update_events.h"

namespace ostrel {

// The Verify stage over the program memory; stops at the first failed read (Exchange) or the
// first byte that differs from `image` (ReadBackDiffers, with its address).
UpdateOutcome CheckProgramMemory(BootloaderProtocol& protocol, const FirmwareImage& image,
                                 UpdateEvents& events);

}  // namespace ostrel
