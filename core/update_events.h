#pragma once
// What an update reports as it goes, and how it ended. The update describes its work; each
// front end decides what to show: the wizard its indicators and bars, the console its lines.
#include <cstdint>
#include <optional>

#include "core/exchange_record.h"
#include "core/update_stage.h"

namespace ostrel {

class UpdateEvents {
  public:
    virtual ~UpdateEvents() = default;
    // A stage starts with `total` blocks to do.
    virtual void StageBegun(UpdateStage stage, std::uint32_t total) = 0;
    // `done` of the stage's `total` blocks have succeeded (1 to total).
    virtual void Progress(UpdateStage stage, std::uint32_t done, std::uint32_t total) = 0;
    // The stage ended: all its blocks succeeded, or it stopped at its first failure.
    virtual void StageEnded(UpdateStage stage, bool ok) = 0;
};

// For a run whose stages nobody shows.
class NoUpdateEvents final : public UpdateEvents {
  public:
    void StageBegun(UpdateStage, std::uint32_t) override {}
    void Progress(UpdateStage, std::uint32_t, std::uint32_t) override {}
    void StageEnded(UpdateStage, bool) override {}
};

enum class UpdateFailure : std::uint8_t {
    None,             // the update succeeded
    NotReady,         // no bootloader was ready: nothing was sent
    Exchange,         // an exchange failed; `step` says which frame and what came back
    ReadBackDiffers,  // the block read back is not what was written; `differsAt` is the first byte
    ReadsDiffer,      // two reads of the same memory disagree; `differsAt` is the first byte
};

struct UpdateOutcome {
    UpdateStage stage = UpdateStage::Write;  // where it ended
    std::uint32_t block = 0;                 // the block whose exchange or check failed
    ExchangeRecord step;                     // the failed exchange, as the protocol recorded it
    UpdateFailure reason = UpdateFailure::None;
    std::optional<std::uint32_t> differsAt;
    bool secondRead = false;  // the failed exchange was in the second of two reads

    bool Succeeded() const { return reason == UpdateFailure::None; }
};

}  // namespace ostrel
