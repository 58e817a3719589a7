#include "cli/system/atomic_file.h"

namespace ostrel::cli {

std::string DescribeRefusal(const FileTarget& target) {
    switch (target.refusal) {
        case FileRefusal::None:
            return {};
        case FileRefusal::SystemPath:
            return "it leads into /dev or /proc, to a device or to a stream such as standard "
                   "output, not to a file of its own: name a file";
        case FileRefusal::DeviceName:
            return "it is the name of a device, not of a file: name a file";
        case FileRefusal::Dangling:
            return "it is a symbolic link that points nowhere (to " + target.detail +
                   "): name the file itself, or mend the link";
        case FileRefusal::Folder:
            return "it is a folder: name a file in it";
        case FileRefusal::NotRegular:
            return "it is not a regular file (a device, a pipe or a socket); it is left as it is";
        case FileRefusal::Exists:
            return "it exists; it is left as it is";
        case FileRefusal::ReadOnly:
            return "it is read-only; it is left as it is";
        case FileRefusal::FolderMissing:
            return "the folder " + target.detail +
                   " does not exist: create it, or name a file "
                   "in another folder";
        case FileRefusal::FolderNotWritable:
            return "the folder " + target.detail +
                   " cannot be written to: name a file in a "
                   "folder you may write to, or ask for write permission on this one";
    }
    return {};
}

}  // namespace ostrel::cli
