#include "cli/system/atomic_file.h"

#include <windows.h>

#include "cli/system/program_files.h"
#include "device/win32/wide_text.h"

namespace ostrel::cli {

using win32::SystemMessage;
using win32::WideFromUtf8;

namespace {

// Another program (an antivirus scanning the new file, a backup or indexing tool) may hold the
// target or the new file for a moment: the rename is tried again for about two seconds.
constexpr int kMoveAttempts = 20;
constexpr DWORD kMovePauseMs = 100;

bool MoveIntoPlace(const std::wstring& from, const std::wstring& to) {
    for (int attempt = 1;; ++attempt) {
        // Write-through: the rename is on the disk when the call returns.
        if (MoveFileExW(from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD code = GetLastError();
        const bool held = code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION ||
                          code == ERROR_LOCK_VIOLATION;
        if (!held || attempt == kMoveAttempts) return false;
        Sleep(kMovePauseMs);
    }
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string& error) {
    if (const FileKind kind = KindOf(path);
        kind != FileKind::Missing && kind != FileKind::Regular) {
        error = "it exists and is not a regular file; it is left as it is";
        return false;
    }
    const std::wstring target = WideFromUtf8(path);
    const std::wstring temporary = target + L".tmp" + std::to_wstring(GetCurrentProcessId());
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = SystemMessage(GetLastError());
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size() && FlushFileBuffers(file);
    DWORD failure = GetLastError();
    CloseHandle(file);
    if (ok && !MoveIntoPlace(temporary, target)) {
        ok = false;
        failure = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temporary.c_str());
        error = SystemMessage(failure);
    }
    return ok;
}

namespace {

// The volume and index that name a file whatever path leads to it; false when it cannot be read.
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE file =
        CreateFileW(WideFromUtf8(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool read = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return read;
}

// The absolute path a name leads to from the current folder; empty when it cannot be made.
std::wstring FullPath(const std::string& path) {
    const std::wstring name = WideFromUtf8(path);
    const DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (size == 0) return {};
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(name.c_str(), size, full.data(), nullptr);
    full.resize(length < size ? length : 0);
    return full;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    const bool firstExists = FileIdentity(a, first);
    const bool secondExists = FileIdentity(b, second);
    if (firstExists || secondExists) {
        return firstExists && secondExists &&
               first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
               first.nFileIndexHigh == second.nFileIndexHigh &&
               first.nFileIndexLow == second.nFileIndexLow;
    }
    // Neither exists yet: one full path ("x" and ".\\x", letters in any case) is one file to be.
    const std::wstring fullA = FullPath(a);
    return !fullA.empty() &&
           CompareStringOrdinal(fullA.c_str(), -1, FullPath(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

FileKind KindOf(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::Missing;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileKind::Directory;
    return attributes & FILE_ATTRIBUTE_DEVICE ? FileKind::Other : FileKind::Regular;
}

// The user's own folders already keep others out; the file takes their permissions.
std::FILE* CreatePrivateFile(const std::string& path, bool append) {
    return OpenFile(path, append ? "a" : "w");
}

}  // namespace ostrel::cli
