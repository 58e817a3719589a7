#include "cli/system/atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace ostrel::cli {
namespace {

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

// "dir/name" into "dir" and "name"; the folder is "." for a bare name.
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}
std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool SameIdentity(const struct stat& first, const struct stat& second) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string Resolved(const std::string& path) {
    const std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), &free);
    return resolved ? std::string(resolved.get()) : std::string();
}

bool InSystemFolder(const std::string& resolvedFolder) {
    for (const char* root : {"/dev", "/proc"}) {
        const std::size_t n = std::strlen(root);
        if (resolvedFolder.compare(0, n, root) == 0 &&
            (resolvedFolder.size() == n || resolvedFolder[n] == '/')) {
            return true;
        }
    }
    return false;
}

// Whether the name, or any link on the way from it to a file, lies in /dev or /proc: there
// /dev/stdout leads to whatever the shell redirected, a log the user keeps, and a "file" is
// a device.
bool ThroughSystemFolder(std::string path) {
    for (int hop = 0; hop < 40; ++hop) {
        const std::string folder = Resolved(FolderOf(path));
        if (!folder.empty() && InSystemFolder(folder)) return true;
        char target[PATH_MAX];
        const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
        if (length < 0) return false;
        target[length] = '\0';
        path = target[0] == '/' ? std::string(target) : FolderOf(path) + "/" + target;
    }
    return false;
}

bool ReadOnly(const struct stat& status) {
    return (status.st_mode & 0222) == 0;
}

// The file a write replaces: `path` itself, or the regular file a symbolic link leads to.
std::string ReplacedFile(const std::string& path) {
    struct stat named {};
    if (lstat(path.c_str(), &named) == 0 && S_ISLNK(named.st_mode)) {
        const std::string resolved = Resolved(path);
        if (!resolved.empty()) return resolved;
    }
    return path;
}

FileTarget Refused(FileRefusal refusal, std::string detail = {}) {
    return FileTarget{refusal, std::move(detail)};
}

// A temporary name in the target's folder, short enough that a name at the system's limit
// still has room beside it.
std::string TemporaryIn(const std::string& folder) {
    return folder + "/.ostrel-XXXXXX";
}

}  // namespace

FileTarget CheckFileTarget(const std::string& path, Existing existing) {
    if (ThroughSystemFolder(path)) return Refused(FileRefusal::SystemPath);
    struct stat named {};
    const bool present = lstat(path.c_str(), &named) == 0;
    struct stat status {};
    if (present && stat(path.c_str(), &status) != 0) {
        char target[PATH_MAX];
        const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
        return Refused(FileRefusal::Dangling,
                       length < 0 ? std::string("?") : std::string(target, length));
    }
    if (present) {
        if (S_ISDIR(status.st_mode)) return Refused(FileRefusal::Folder);
        if (!S_ISREG(status.st_mode)) return Refused(FileRefusal::NotRegular);
        if (existing == Existing::Refuse) return Refused(FileRefusal::Exists);
        if (ReadOnly(status)) return Refused(FileRefusal::ReadOnly);
    }
    // A new file, or the temporary file of a replacement, is made in the folder.
    if (!present || existing == Existing::Replace) {
        const std::string folder = FolderOf(ReplacedFile(path));
        struct stat folderStatus {};
        if (stat(folder.c_str(), &folderStatus) != 0 || !S_ISDIR(folderStatus.st_mode)) {
            return Refused(FileRefusal::FolderMissing, folder);
        }
        if (access(folder.c_str(), W_OK) != 0) {
            return Refused(FileRefusal::FolderNotWritable, folder);
        }
    }
    return {};
}

bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         Existing existing, std::string& error) {
    if (const FileTarget target = CheckFileTarget(path, existing);
        target.refusal != FileRefusal::None) {
        error = DescribeRefusal(target);
        return false;
    }
    const std::string target = ReplacedFile(path);
    const std::string folder = FolderOf(target);
    std::string temporary = TemporaryIn(folder);
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        error = errno == EACCES || errno == EPERM || errno == EROFS
                    ? DescribeRefusal(Refused(FileRefusal::FolderNotWritable, folder))
                    : std::strerror(errno);
        return false;
    }
    bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
    int failure = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        failure = errno;
    }
    if (ok) {
        // A name that must be new is never replaced, even by a file made since the check.
        int renamed =
            existing == Existing::Refuse
                ? renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE)
                : rename(temporary.c_str(), target.c_str());
        if (renamed != 0 && existing == Existing::Refuse && errno == EINVAL) {
            // A file system without the flag: a hard link is made only where no name is.
            renamed = link(temporary.c_str(), target.c_str());
        }
        if (renamed != 0) {
            ok = false;
            failure = errno;
        }
    }
    unlink(temporary.c_str());  // gone after a rename; after a link, the second name
    if (!ok) {
        error = failure == EEXIST ? DescribeRefusal(Refused(FileRefusal::Exists))
                                  : std::strerror(failure);
        return false;
    }
    // The rename itself lasts only once the folder's entry is on the disk.
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat first {};
    struct stat second {};
    const bool firstExists = stat(a.c_str(), &first) == 0;
    const bool secondExists = stat(b.c_str(), &second) == 0;
    if (firstExists || secondExists) {
        return firstExists && secondExists && SameIdentity(first, second);
    }
    // Neither exists yet: one name in one folder ("x" and "./x") is one file to be.
    return NameOf(a) == NameOf(b) && stat(FolderOf(a).c_str(), &first) == 0 &&
           stat(FolderOf(b).c_str(), &second) == 0 && SameIdentity(first, second);
}

FileKind KindOf(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return FileKind::Missing;
    if (S_ISREG(status.st_mode)) return FileKind::Regular;
    return S_ISDIR(status.st_mode) ? FileKind::Directory : FileKind::Other;
}

bool IsNullDevice(const std::string& path) {
    struct stat named {};
    struct stat null {};
    return !path.empty() && stat(path.c_str(), &named) == 0 && S_ISCHR(named.st_mode) &&
           stat("/dev/null", &null) == 0 && named.st_rdev == null.st_rdev;
}

std::FILE* AppendPrivateFile(const std::string& path, std::string& error) {
    // Without blocking: a pipe nobody reads fails here instead of holding the run.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errno == ENXIO ? DescribeRefusal(Refused(FileRefusal::NotRegular))
                               : std::strerror(errno);
        return nullptr;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        error = DescribeRefusal(Refused(FileRefusal::NotRegular));
        return nullptr;
    }
    fcntl(fd, F_SETFL, O_APPEND);
    // An older file of the same name keeps its mode through the open.
    if ((status.st_mode & 077) != 0) fchmod(fd, status.st_mode & 0700);
    std::FILE* file = fdopen(fd, "a");
    if (file == nullptr) {
        error = std::strerror(errno);
        close(fd);
    }
    return file;
}

}  // namespace ostrel::cli
