#pragma once
// The files the owner cares about: a file replaced whole or not at all (written to a temporary
// file in the same folder, flushed to the disk, then renamed over the old one, so a crash or a
// full disk leaves the old file, or none, and never half of the new one); what a name leads to;
// and files only their owner may read.
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace ostrel::cli {

// False with the reason in `error`; no temporary file is left behind. A name that exists and is
// not a regular file (a folder, a device, a pipe, a link to one) is refused and left as it is;
// a symbolic link to a regular file keeps the link, and the file it leads to is replaced.
bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string& error);

// Whether both names give one file: the same existing file whatever the path to it, or, for
// names that do not exist yet, the same name in the same folder.
bool SameFile(const std::string& a, const std::string& b);

// What a name leads to, following symbolic links.
enum class FileKind { Missing, Regular, Directory, Other };
FileKind KindOf(const std::string& path);

// Opens `path` for writing text, emptied or, with `append`, kept and written on at its end;
// readable by its owner only when the call creates it or it is a regular file. nullptr with
// errno set when it cannot.
std::FILE* CreatePrivateFile(const std::string& path, bool append = false);

}  // namespace ostrel::cli
