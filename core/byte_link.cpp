#include "core/byte_link.h"

namespace ostrel {

bool ByteLink::WaitForInput(std::uint32_t tries, std::uint16_t count) {
    for (std::uint32_t i = 0; i < tries; ++i) {
        if (AwaitOneTry(count)) return true;
    }
    return false;
}

}  // namespace ostrel
