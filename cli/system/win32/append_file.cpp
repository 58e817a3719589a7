#include "cli/system/append_file.h"

#include <windows.h>

#include "device/win32/wide_text.h"

namespace ostrel::cli {
namespace {

// Opened with FILE_APPEND_DATA (and no FILE_WRITE_DATA), every WriteFile goes at the end of the
// file as one piece, whoever else appends.
bool WriteWhole(HANDLE file, const std::string& text, std::string& error) {
    DWORD written = 0;
    if (!WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
        error = win32::SystemMessage(GetLastError());
        return false;
    }
    if (written != text.size()) {
        error = "only part of the line was written (the disk is full?)";
        return false;
    }
    if (!FlushFileBuffers(file)) {
        error = win32::SystemMessage(GetLastError());
        return false;
    }
    return true;
}

// The whole file, locked against the other stations that append to it.
class WholeFileLock {
  public:
    explicit WholeFileLock(HANDLE file)
        : file_(file),
          locked_(LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole_)) {}
    ~WholeFileLock() {
        if (locked_) UnlockFileEx(file_, 0, MAXDWORD, MAXDWORD, &whole_);
    }
    WholeFileLock(const WholeFileLock&) = delete;
    WholeFileLock& operator=(const WholeFileLock&) = delete;

  private:
    HANDLE file_;
    OVERLAPPED whole_{};
    bool locked_;
};

}  // namespace

std::string LineEndOf(const std::string& line) {
    return line.ends_with("\r\n") ? "\r\n" : "\n";
}

std::unique_ptr<AppendOnlyFile> AppendOnlyFile::Open(const std::string& path,
                                                     const std::string& header,
                                                     std::string& error) {
    // Shared for deleting too: an editor may still save over the file (rename a new one onto
    // its name), which the station then notices before its next row.
    HANDLE file =
        CreateFileW(win32::WideFromUtf8(path).c_str(),
                    FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = win32::SystemMessage(GetLastError());
        return nullptr;
    }
    std::unique_ptr<AppendOnlyFile> opened(
        new AppendOnlyFile(reinterpret_cast<std::intptr_t>(file)));
    if (GetFileType(file) != FILE_TYPE_DISK) {
        error = "not a regular file";
        return nullptr;
    }
    // Two stations starting on one new file: the one that holds the lock writes the header.
    const WholeFileLock lock(file);
    LARGE_INTEGER size{};
    const bool empty = GetFileSizeEx(file, &size) && size.QuadPart == 0;
    const bool ok = !empty || WriteWhole(file, header, error);
    return ok ? std::move(opened) : nullptr;
}

AppendOnlyFile::~AppendOnlyFile() {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool AppendOnlyFile::Append(const std::string& line, std::string& error) {
    HANDLE file = reinterpret_cast<HANDLE>(handle_);
    const WholeFileLock lock(file);
    LARGE_INTEGER size{};
    char last = '\n';
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(size.QuadPart - 1);
        at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
        DWORD read = 0;
        if (!ReadFile(file, &last, 1, &read, &at) || read != 1) last = '\n';
    }
    return WriteWhole(file, last == '\n' ? line : LineEndOf(line) + line, error);
}

bool AppendOnlyFile::IsAt(const std::string& path) const {
    HANDLE named = CreateFileW(win32::WideFromUtf8(path).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (named == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION mine{};
    BY_HANDLE_FILE_INFORMATION theirs{};
    const bool same = GetFileInformationByHandle(reinterpret_cast<HANDLE>(handle_), &mine) &&
                      GetFileInformationByHandle(named, &theirs) &&
                      mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber &&
                      mine.nFileIndexHigh == theirs.nFileIndexHigh &&
                      mine.nFileIndexLow == theirs.nFileIndexLow;
    CloseHandle(named);
    return same;
}

}  // namespace ostrel::cli
