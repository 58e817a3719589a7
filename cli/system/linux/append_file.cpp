#include "cli/system/append_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ostrel::cli {
namespace {

// One write(2) of the whole line: with O_APPEND the kernel places it at the end as one piece,
// whoever else appends.
bool WriteWhole(int fd, const std::string& text, std::string& error) {
    ssize_t written = -1;
    do {
        written = write(fd, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        error = std::strerror(errno);
        return false;
    }
    if (static_cast<std::size_t>(written) != text.size()) {
        error = "only part of the line was written (the disk is full?)";
        return false;
    }
    if (fdatasync(fd) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

std::string LineEndOf(const std::string& line) {
    return line.ends_with("\r\n") ? "\r\n" : "\n";
}

std::unique_ptr<AppendOnlyFile> AppendOnlyFile::Open(const std::string& path,
                                                     const std::string& header,
                                                     std::string& error) {
    // Read as well, to see how the file ends; without blocking, so that a FIFO opens at once
    // and is refused.
    const int fd =
        open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<AppendOnlyFile> file(new AppendOnlyFile(fd));
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = "not a regular file";
        return nullptr;
    }
    fcntl(fd, F_SETFL, O_APPEND);
    // Two stations starting on one new file: the one that holds the lock writes the header.
    flock(fd, LOCK_EX);
    const bool empty = fstat(fd, &status) == 0 && status.st_size == 0;
    const bool ok = !empty || WriteWhole(fd, header, error);
    flock(fd, LOCK_UN);
    return ok ? std::move(file) : nullptr;
}

AppendOnlyFile::~AppendOnlyFile() {
    close(static_cast<int>(handle_));
}

bool AppendOnlyFile::Append(const std::string& line, std::string& error) {
    const int fd = static_cast<int>(handle_);
    // A line the disk took only part of is taken back, so that the next line appended (by this
    // station or another, all appending under this lock) does not run on from it.
    flock(fd, LOCK_EX);
    struct stat status {};
    const bool sized = fstat(fd, &status) == 0;
    char last = '\n';
    if (sized && status.st_size > 0 && pread(fd, &last, 1, status.st_size - 1) != 1) last = '\n';
    const bool ok = WriteWhole(fd, last == '\n' ? line : LineEndOf(line) + line, error);
    if (!ok && sized) (void)!ftruncate(fd, status.st_size);
    flock(fd, LOCK_UN);
    return ok;
}

bool AppendOnlyFile::IsAt(const std::string& path) const {
    struct stat open {};
    struct stat named {};
    return fstat(static_cast<int>(handle_), &open) == 0 && stat(path.c_str(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

}  // namespace ostrel::cli
