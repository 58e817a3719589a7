#pragma once
// The simulated tracker's whole memory in a file of 65,536 bytes (--load and --dump).
#include <string>

#include "sim/bootloader_model.h"

namespace ostrel::sim {

bool DumpMemory(const BootloaderModel& model, const std::string& file);
// False unless the file holds exactly the model's memory size.
bool LoadMemory(BootloaderModel& model, const std::string& file);

}  // namespace ostrel::sim
