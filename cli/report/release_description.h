#pragma once
// What --version prints: the program, the release built in and the hashes of its blocks.
#include <string>

namespace ostrel::cli {

std::string ReleaseDescription();

}  // namespace ostrel::cli
