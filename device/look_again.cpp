#include "device/look_again.h"

#include <iterator>

namespace ostrel {

std::optional<std::uint32_t> LookAgainSchedule::NextPause() {
    if (taken_ >= static_cast<int>(std::size(kArrivalRetryMs))) return std::nullopt;
    const std::uint32_t since = taken_ == 0 ? 0 : kArrivalRetryMs[taken_ - 1];
    return kArrivalRetryMs[taken_++] - since;
}

void LookAgainSchedule::Restart() {
    taken_ = 0;
}

int LookAgainSchedule::Taken() const {
    return taken_;
}

}  // namespace ostrel
