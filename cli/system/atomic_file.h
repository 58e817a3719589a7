#pragma once
// The files the owner cares about: a file replaced whole or not at all (written to a temporary
// file in the same folder, flushed to the disk, then renamed into place, so a crash or a full
// disk leaves the old file, or none, and never half of the new one); what a name leads to; and
// files only their owner may read. A name the program writes to is checked first: nothing it
// did not write is ever emptied or replaced unless the user asked for it.
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace ostrel::cli {

// What a write may do to a file that is already there.
enum class Existing : std::uint8_t {
    Refuse,   // nothing: the name must be new
    Replace,  // replace it whole, unless it is read-only
    Append,   // write on at its end, unless it is read-only
};

// Why a name cannot take what the program writes.
enum class FileRefusal : std::uint8_t {
    None,
    SystemPath,         // leads into /dev or /proc: a device, or a stream such as stdout
    DeviceName,         // a device's reserved name (Windows: CON, NUL, COM1, ...)
    Dangling,           // a symbolic link that points nowhere; `detail` is where
    Folder,             // it is a folder
    NotRegular,         // a device, a pipe or a socket
    Exists,             // with Existing::Refuse
    ReadOnly,           // never replaced nor written on
    FolderMissing,      // `detail` is the folder
    FolderNotWritable,  // `detail` is the folder
};

struct FileTarget {
    FileRefusal refusal = FileRefusal::None;
    std::string detail;
};

// Checks a name before anything is written (or sent to the tracker).
FileTarget CheckFileTarget(const std::string& path, Existing existing);

// The refusal in words, after "cannot write FILE: ".
std::string DescribeRefusal(const FileTarget& target);

// False with the reason in `error`; no temporary file is left behind. The name is checked as
// CheckFileTarget does, and with Existing::Refuse a file that appears meanwhile is not
// replaced either. Through a symbolic link to a regular file the link stays, and the file it
// leads to is replaced.
bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         Existing existing, std::string& error);

// Whether both names give one file: the same existing file whatever the path to it, or, for
// names that do not exist yet, the same name in the same folder.
bool SameFile(const std::string& a, const std::string& b);

// What a name leads to, following symbolic links.
enum class FileKind { Missing, Regular, Directory, Other };
FileKind KindOf(const std::string& path);

// The system's empty device (/dev/null, NUL), whatever the name that leads to it.
bool IsNullDevice(const std::string& path);

// Opens `path` for writing text at its end, creating it readable by its owner only. Anything
// but a regular file is refused (a pipe nobody reads would hold the run). nullptr with the
// reason in `error` when it cannot.
std::FILE* AppendPrivateFile(const std::string& path, std::string& error);

}  // namespace ostrel::cli
