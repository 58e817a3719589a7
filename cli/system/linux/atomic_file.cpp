#include "cli/system/atomic_file.h"

#include <fcntl.h>
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

// The file a new backup replaces: `path` itself when it is missing or a regular file, the
// file a symbolic link leads to when that is regular; empty, with `error` set, otherwise.
std::string ReplacedFile(const std::string& path, std::string& error) {
    struct stat named {};
    if (lstat(path.c_str(), &named) != 0) {
        if (errno == ENOENT) return path;
        error = std::strerror(errno);
        return {};
    }
    if (S_ISREG(named.st_mode)) return path;
    struct stat target {};
    if (S_ISLNK(named.st_mode) && stat(path.c_str(), &target) == 0 && S_ISREG(target.st_mode)) {
        const std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr),
                                                              &free);
        if (resolved) return resolved.get();
    }
    error = "it exists and is not a regular file; it is left as it is";
    return {};
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string& error) {
    const std::string target = ReplacedFile(path, error);
    if (target.empty()) return false;
    std::string temporary = target + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
    int failure = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        failure = errno;
    }
    if (ok && rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        failure = errno;
    }
    if (!ok) {
        unlink(temporary.c_str());
        error = std::strerror(failure);
        return false;
    }
    // The rename itself lasts only once the folder's entry is on the disk.
    const int dir = open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

std::FILE* CreatePrivateFile(const std::string& path, bool append) {
    const int fd =
        open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0600);
    if (fd < 0) return nullptr;
    // An older file of the same name keeps its mode through the open; a device is left alone.
    struct stat status {};
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && (status.st_mode & 077) != 0) {
        fchmod(fd, status.st_mode & 0700);
    }
    std::FILE* file = fdopen(fd, append ? "a" : "w");
    if (file == nullptr) {
        const int failure = errno;
        close(fd);
        errno = failure;
    }
    return file;
}

}  // namespace ostrel::cli
