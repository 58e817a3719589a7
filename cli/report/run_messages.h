#pragma once
// What the console says when a run cannot go on: the cause, and what the user can do about it.
#include <cstdint>
#include <string>

#include "core/updater_state.h"
#include "device/port_open_error.h"

namespace ostrel::cli {

// Why `port` did not open, with the cure.
std::string DescribeOpenFailure(const std::string& port, const PortOpenReport& report);

// What to do when the bootloader does not answer: a tracker's bootloader that was left inside
// an exchange, or that locked onto noise, answers nothing until the tracker is re-powered.
extern const char* const kRepowerHint;

// After a connection attempt that left DeviceReady false. `lastPort` is empty when there was
// no port to try; `opened` tells whether the last port opened.
std::string DescribeNotConnected(const UpdaterState& state, const std::string& lastPort,
                                 bool opened, const PortOpenReport& report);

enum class UpdateStage : std::uint8_t { NotStarted, WritingProgram, Verifying, WritingData };

// Where an update stopped on request and what the tracker holds. The sequence had reached
// `state.CurrentAddress`: the refused block's address plus one block.
std::string DescribeInterruption(const UpdaterState& state, UpdateStage stage);

// Shown before the first block is written.
extern const char* const kDoNotInterrupt;

}  // namespace ostrel::cli
