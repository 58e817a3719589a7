#pragma once
// The tracker's data memory (the owner's settings first) read out to be saved, and a saved one
// written back.
#include <array>
#include <cstdint>

#include "core/bootloader_protocol.h"
#include "core/firmware_image.h"
#include "core/update_events.h"

namespace ostrel {

using DataMemory = std::array<std::uint8_t, kDataSize>;

// Reads the data memory into `memory` twice, as two Backup stages, and compares the reads: one
// glitched byte on the line must not go into the owner's only copy. A failed read of the second
// pass has `secondRead` set; reads that disagree end as ReadsDiffer, with the first address.
UpdateOutcome ReadDataMemory(BootloaderProtocol& protocol, DataMemory& memory,
                             UpdateEvents& events);

// Writes `saved` (the Restore stage), then reads it back and compares (the Check stage): an
// exchange that fails, or the first byte read back that differs (ReadBackDiffers).
UpdateOutcome WriteDataMemory(BootloaderProtocol& protocol, const DataMemory& saved,
                              UpdateEvents& events);

}  // namespace ostrel
