#pragma once
// A file replaced whole or not at all: written to a temporary file in the same folder, flushed
// to the disk, then renamed over the old one. A crash or a full disk leaves the old file (or
// none) and never half of the new one.
#include <cstdint>
#include <span>
#include <string>

namespace ostrel::cli {

// False with the reason in `error`; no temporary file is left behind.
bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string& error);

// Whether both names give one existing file, or are the same name.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace ostrel::cli
