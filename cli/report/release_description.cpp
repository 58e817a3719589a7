#include "cli/report/release_description.h"

#include "payload/release_identity.h"

namespace ostrel::cli {

std::string ReleaseDescription() {
    const ReleaseIdentity& r = kReleaseIdentity;
    std::string text = std::string("ostrel-flash ") + r.programVersion + "\n" + "release " +
                       r.name + ", " + r.date + "\n" + "program memory (29,696 bytes) SHA-256 " +
                       r.flashSha256 + "\n" + "data memory (1,024 bytes) SHA-256 " + r.dataSha256 +
                       "\n";
    if (r.placeholder) text += std::string(kPlaceholderMark) + "\n";
    return text;
}

}  // namespace ostrel::cli
