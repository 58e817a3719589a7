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

std::unique_ptr<AppendOnlyFile> AppendOnlyFile::Open(const std::string& path,
                                                     const std::string& header,
                                                     std::string& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
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
    const bool ok = WriteWhole(fd, line, error);
    if (!ok && sized) (void)!ftruncate(fd, status.st_size);
    flock(fd, LOCK_UN);
    return ok;
}

}  // namespace ostrel::cli
