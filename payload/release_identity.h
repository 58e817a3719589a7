#pragma once
// What the built-in release is: its name and date, the SHA-256 of each block, and whether the
// blocks are the placeholder test bytes of payload/. Filled in when the program is configured.
namespace ostrel {

struct ReleaseIdentity {
    const char* programVersion;  // this updater's own version
    const char* name;            // "v2.2.5 R27"
    const char* date;            // "11.11.2012"
    const char* flashSha256;     // of the 29,696-byte program-memory block, in hex
    const char* dataSha256;      // of the 1,024-byte data-memory block, in hex
    bool placeholder;            // either block is a placeholder: never for a tracker in service
};

extern const ReleaseIdentity kReleaseIdentity;

inline constexpr char kPlaceholderMark[] = "placeholder release: for tests and demonstration only";

}  // namespace ostrel
