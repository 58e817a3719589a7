#pragma once
// What every fuzz target shares: a failed check aborts (libFuzzer saves the input), and the
// release image is built once per process.
#include <cstdlib>
#include <memory>

#include "core/firmware_image.h"

namespace ostrel::fuzz {

inline void Check(bool condition) {
    if (!condition) std::abort();
}

inline const FirmwareImage& ReleaseImage() {
    static const auto image = [] {
        auto img = std::make_unique<FirmwareImage>();
        BuildFirmwareImage(*img);
        return img;
    }();
    return *image;
}

}  // namespace ostrel::fuzz
