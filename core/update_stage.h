#pragma once
// Where a run is, or where it ended: every stage in the order a run meets them, and the one word
// each goes by on the result line, on a bay's line and in the recorded events of tests.
#include <cstdint>

namespace ostrel {

enum class UpdateStage : std::uint8_t {
    Connect,  // the port opened, the sync and Get answered
    Backup,   // data memory read, twice, to be saved
    Write,    // program memory written
    Verify,   // program memory read back and compared with the release
    Data,     // data memory written
    Restore,  // a saved data memory written back
    Check,    // the data memory read back after a restore
    Trace,    // the file that keeps every exchange
    Journal,  // the file that keeps a row for every tracker
};

inline constexpr UpdateStage kAllStages[] = {
    UpdateStage::Connect, UpdateStage::Backup, UpdateStage::Write,
    UpdateStage::Verify,  UpdateStage::Data,   UpdateStage::Restore,
    UpdateStage::Check,   UpdateStage::Trace,  UpdateStage::Journal,
};

// "connect", "backup", "write", "verify", "data", "restore", "check", "trace", "journal".
const char* StageName(UpdateStage stage);

}  // namespace ostrel
