#include "cli/system/append_file.h"

#include <windows.h>

#include "device/win32/wide_text.h"

namespace ostrel::cli {
namespace {

// Opened with FILE_APPEND_DATA alone, every WriteFile goes at the end of the file as one piece,
// whoever else appends.
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

}  // namespace

std::unique_ptr<AppendOnlyFile> AppendOnlyFile::Open(const std::string& path,
                                                     const std::string& header,
                                                     std::string& error) {
    HANDLE file = CreateFileW(win32::WideFromUtf8(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = win32::SystemMessage(GetLastError());
        return nullptr;
    }
    std::unique_ptr<AppendOnlyFile> opened(
        new AppendOnlyFile(reinterpret_cast<std::intptr_t>(file)));
    // Two stations starting on one new file: the one that holds the lock writes the header.
    OVERLAPPED whole{};
    const bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole);
    LARGE_INTEGER size{};
    const bool empty = GetFileSizeEx(file, &size) && size.QuadPart == 0;
    const bool ok = !empty || WriteWhole(file, header, error);
    if (locked) UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    return ok ? std::move(opened) : nullptr;
}

AppendOnlyFile::~AppendOnlyFile() {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool AppendOnlyFile::Append(const std::string& line, std::string& error) {
    return WriteWhole(reinterpret_cast<HANDLE>(handle_), line, error);
}

}  // namespace ostrel::cli
