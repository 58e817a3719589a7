#include "core/update_stage.h"

#include <iterator>

namespace ostrel {
namespace {

// In the order of the enum.
constexpr const char* kStageNames[] = {"connect", "backup", "write", "verify", "data",
                                       "restore", "check",  "trace", "journal"};
static_assert(std::size(kStageNames) == std::size(kAllStages));

}  // namespace

const char* StageName(UpdateStage stage) {
    return kStageNames[static_cast<std::size_t>(stage)];
}

}  // namespace ostrel
